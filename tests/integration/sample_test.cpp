// The Quillon sample's whole silent install, checked from outside.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "installer.h"
#include "testpaths.h"

namespace {

std::wstring Folder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE);
  return buf;
}

std::wstring RegText(const wchar_t* key, const wchar_t* value) {
  wchar_t buf[1024] = {};
  DWORD size = sizeof buf;
  if (RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS)
    return L"<none>";
  return buf;
}

// Target and working folder of a shell link, read through the shell.
std::pair<std::wstring, std::wstring> LinkTarget(const std::wstring& path) {
  std::pair<std::wstring, std::wstring> out;
  CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        wchar_t target[MAX_PATH] = {}, dir[MAX_PATH] = {};
        link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
        link->GetWorkingDirectory(dir, MAX_PATH);
        out = {target, dir};
      }
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return out;
}

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kEntryKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon";

DWORD RegNumber(const wchar_t* key, const wchar_t* value) {
  DWORD data = 0, size = sizeof data;
  if (RegGetValueW(HKEY_CURRENT_USER, key, value, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
    return 0xFFFFFFFF;
  return data;
}

// What Wine's own Add/Remove Programs tool lists.
std::string InstalledPrograms() {
  harness::RunOptions options;
  options.commandLine = L"uninstaller.exe --list";
  options.captureOutput = true;
  return harness::Run(options).output;
}

BOOL CALLBACK PressOkOnUninstallBoxes(HWND w, LPARAM pressed) {
  wchar_t cls[16] = {}, caption[64] = {};
  GetClassNameW(w, cls, 16);
  GetWindowTextW(w, caption, 64);
  if (std::wstring(cls) == L"#32770" && std::wstring(caption) == L"Quillon卸载" && IsWindowVisible(w)) {
    PostMessageW(GetDlgItem(w, IDOK), BM_CLICK, 0, 0);
    ++*reinterpret_cast<std::atomic<int>*>(pressed);
  }
  return TRUE;
}

bool GoneWithin(const std::wstring& path, DWORD ms) {
  for (DWORD waited = 0; waited < ms && testsupport::FileExists(path); waited += 100) Sleep(100);
  return !testsupport::FileExists(path);
}

class QuillonSample : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::MakeTempDir(L"sample");
    folder_ = root_ + L"\\Quillon";
    menu_ = Folder(CSIDL_COMMON_PROGRAMS) + L"\\Quillon";
    desktopLink_ = Folder(CSIDL_DESKTOPDIRECTORY) + L"\\Quillon.lnk";
    CleanShared();
  }
  void TearDown() override {
    CleanShared();
    testsupport::RemoveTree(root_);
  }
  void CleanShared() {
    testsupport::RemoveTree(menu_);
    DeleteFileW(desktopLink_.c_str());
    HKEY run;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
      RegDeleteValueW(run, L"Quillon");
      RegCloseKey(run);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kEntryKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon");
  }
  // The uninstall command the entry gives, run as a deployment tool runs it.
  harness::RunResult RunEntry(const wchar_t* value, harness::MessageBoxHandler onBox = nullptr) {
    harness::RunOptions options;
    options.commandLine = RegText(kEntryKey, value);
    if (onBox) options.onMessageBox = onBox;
    auto r = harness::Run(options);
    GoneWithin(folder_ + L"\\uninst.exe", 15000);
    return r;
  }
  harness::RunResult Install(std::vector<std::wstring> extra = {}) {
    std::vector<std::wstring> args{L"/InstallSlience", L"true", L"/InstallPath", root_};
    args.insert(args.end(), extra.begin(), extra.end());
    return it::RunInstaller(it::CopyInstaller(L"quillon_setup.exe"), args);
  }
  std::wstring root_, folder_, menu_, desktopLink_;
};

}  // namespace

TEST_F(QuillonSample, SilentInstallPutsTheProductInPlaceAndStartsIt) {
  auto r = Install({L"/InstallNormalQuillon", L"1"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty());

  // Files: the payload, and the uninstaller.
  for (const wchar_t* f : {L"Quillon.exe", L"qvstat.dll", L"readme.txt", L"docs\\guide.txt"})
    EXPECT_TRUE(testsupport::FileExists(folder_ + L"\\" + f)) << harness::ToUtf8(f);
  std::string uninst = testsupport::ReadFileBytes(folder_ + L"\\uninst.exe");
  ASSERT_GE(uninst.size(), 4096u);
  EXPECT_EQ(uninst.substr(0, 2), "MZ");

  // The product key, with the version read back from the installed program.
  EXPECT_EQ(RegText(L"SOFTWARE\\Quillon", L"InstallPath"), folder_);
  EXPECT_EQ(RegText(L"SOFTWARE\\Quillon", L"Version"), L"2.0.0.18");

  // Shortcuts: start menu and desktop links to the program, and the home page.
  for (const std::wstring& link : {menu_ + L"\\Quillon.lnk", desktopLink_}) {
    auto target = LinkTarget(link);
    EXPECT_EQ(target.first, folder_ + L"\\Quillon.exe") << harness::ToUtf8(link);
    EXPECT_EQ(target.second, folder_);
  }
  wchar_t url[512] = {};
  GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", url, 512, (menu_ + L"\\Quillon 主页.url").c_str());
  EXPECT_EQ(std::wstring(url), L"https://quillon.example/");

  // Started with Windows, because /InstallNormalQuillon 1 asked for it.
  EXPECT_EQ(RegText(kRunKey, L"Quillon"), L"\"" + folder_ + L"\\Quillon.exe\" /autostart");

  // And the product was started at the end.
  const std::wstring record = folder_ + L"\\started.txt";
  for (int i = 0; i < 200 && !testsupport::FileExists(record); ++i) Sleep(50);
  EXPECT_EQ(harness::ReadProductStarts(record).size(), 1u);
}

TEST_F(QuillonSample, NoStartWithWindowsEntryUnlessAskedFor) {
  auto r = Install();
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(RegText(kRunKey, L"Quillon"), L"<none>");
}

TEST_F(QuillonSample, ARunningCopyIsClosedBeforeItsFilesAreReplaced) {
  // First install, then keep the installed program running and install again.
  Install();
  const std::wstring exe = folder_ + L"\\Quillon.exe";
  ASSERT_TRUE(testsupport::FileExists(exe));
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = L"\"" + exe + L"\" /wait 60000";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  auto r = Install();
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  bool closed = false;
  for (const auto& l : it::Lines(r)) closed = closed || l.find(L"BrixSE_BeforeInstall: closing Quillon.exe") == 0;
  EXPECT_TRUE(closed);
}

// Wine reports the Windows version per program name; as Windows XP (major
// version 5) the sample refuses to install.
TEST_F(QuillonSample, RefusesASystemOlderThanWindows7) {
  const std::wstring exe = it::CopyInstaller(L"quillon_setup.exe", L"quillon_xp_setup.exe");
  const wchar_t kAppKey[] = L"Software\\Wine\\AppDefaults\\quillon_xp_setup.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kAppKey, L"Version", REG_SZ, L"winxp", 12), ERROR_SUCCESS);
  auto r = it::RunInstaller(exe, {L"/InstallSlience", L"true", L"/InstallPath", root_});
  RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(it::HasLine(r, L"Quillon needs Windows 7 or later; this system reports major version 5"));
  EXPECT_FALSE(testsupport::FileExists(folder_));
  EXPECT_TRUE(r.boxes.empty());

  // A person starting it sees why.
  RegSetKeyValueW(HKEY_CURRENT_USER, kAppKey, L"Version", REG_SZ, L"winxp", 12);
  auto shown = it::RunInstaller(exe, {});
  RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
  ASSERT_EQ(shown.boxes.size(), 1u);
  EXPECT_EQ(shown.boxes[0].text, L"Quillon 需要 Windows 7 或更高版本。");
}

// The chunk refuses a folder it cannot place the product in, before it has
// written anything.
TEST_F(QuillonSample, ARelativeInstallFolderStopsTheInstallBeforeAnythingIsWritten) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", L"InstallPath");
  harness::RunOptions options;
  options.commandLine = harness::BuildCommandLine(
      {it::CopyInstaller(L"quillon_setup.exe"), L"/InstallSlience", L"true", L"/InstallPath", L"relative"});
  options.workingDir = root_;
  auto r = harness::Run(options);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty()) << "silent: logged, not shown";
  bool stopped = false;
  for (const auto& l : it::Lines(r)) stopped = stopped || l.find(L"install stopped: install folder") == 0;
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(testsupport::FileExists(root_ + L"\\relative"));
  EXPECT_EQ(RegText(L"SOFTWARE\\Quillon", L"InstallPath"), L"<none>");
  EXPECT_FALSE(testsupport::FileExists(desktopLink_));
  EXPECT_EQ(RegText(kRunKey, L"Quillon"), L"<none>");
}

TEST_F(QuillonSample, ListedAsAnInstalledProgramAndRemovedCleanlyButForTheUsersFiles) {
  ASSERT_EQ(Install({L"/InstallNormalQuillon", L"1"}).exitCode, 0u);
  const std::wstring uninstaller = folder_ + L"\\uninst.exe";
  EXPECT_EQ(RegText(kEntryKey, L"DisplayName"), L"Quillon");
  EXPECT_EQ(RegText(kEntryKey, L"DisplayVersion"), L"2.0.0.18");
  EXPECT_EQ(RegText(kEntryKey, L"Publisher"), L"Harlow Software");
  EXPECT_EQ(RegText(kEntryKey, L"DisplayIcon"), uninstaller + L",0");
  EXPECT_EQ(RegText(kEntryKey, L"InstallLocation"), folder_);
  EXPECT_EQ(RegText(kEntryKey, L"InstallDate").size(), 8u);
  EXPECT_EQ(RegNumber(kEntryKey, L"EstimatedSize"), 182958560u / 1024);
  EXPECT_EQ(RegText(kEntryKey, L"UninstallString"), L"\"" + uninstaller + L"\"");
  EXPECT_EQ(RegText(kEntryKey, L"QuietUninstallString"), L"\"" + uninstaller + L"\" /InstallSlience true");
  EXPECT_EQ(RegNumber(kEntryKey, L"NoModify"), 1u);
  EXPECT_EQ(RegNumber(kEntryKey, L"NoRepair"), 1u);
  EXPECT_NE(InstalledPrograms().find("Quillon"), std::string::npos);

  ASSERT_TRUE(testsupport::WriteFileBytes(folder_ + L"\\notes.txt", "mine"));
  auto r = RunEntry(L"QuietUninstallString");
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty());
  for (const wchar_t* f : {L"Quillon.exe", L"qvstat.dll", L"readme.txt", L"docs", L"uninst.exe"})
    EXPECT_FALSE(testsupport::FileExists(folder_ + L"\\" + f)) << harness::ToUtf8(f);
  EXPECT_TRUE(testsupport::FileExists(folder_ + L"\\notes.txt"));
  EXPECT_EQ(RegText(L"SOFTWARE\\Quillon", L"InstallPath"), L"<none>");
  EXPECT_EQ(RegText(kRunKey, L"Quillon"), L"<none>");
  EXPECT_EQ(RegText(kEntryKey, L"DisplayName"), L"<none>");
  EXPECT_FALSE(testsupport::FileExists(desktopLink_));
  EXPECT_FALSE(testsupport::FileExists(menu_));
  EXPECT_EQ(InstalledPrograms().find("Quillon"), std::string::npos);
}

TEST_F(QuillonSample, UninstallingClosesARunningQuillonAndASecondRunFindsNothing) {
  ASSERT_EQ(Install().exitCode, 0u);
  const std::wstring exe = folder_ + L"\\Quillon.exe";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::wstring cmd = L"\"" + exe + L"\" /wait 60000";
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  // A copy of the uninstaller, kept for a second run.
  const std::wstring copy = root_ + L"\\uninst-copy.exe";
  ASSERT_TRUE(CopyFileW((folder_ + L"\\uninst.exe").c_str(), copy.c_str(), FALSE));

  EXPECT_EQ(RunEntry(L"QuietUninstallString").exitCode, 0u);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_FALSE(testsupport::FileExists(exe));
  // Only the record the started product wrote is left (not the installer's,
  // so it stays with the folder).
  EXPECT_TRUE(GoneWithin(folder_ + L"\\uninst.exe", 15000));
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &entry);
  std::vector<std::wstring> left;
  if (find != INVALID_HANDLE_VALUE) {
    do
      if (entry.cFileName[0] != L'.') left.push_back(entry.cFileName);
    while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  EXPECT_EQ(left, std::vector<std::wstring>{L"started.txt"});

  auto again = it::RunInstaller(copy, {L"/InstallSlience", L"true", L"/InstallPath", folder_});
  EXPECT_EQ(again.exitCode, 0u);
  EXPECT_TRUE(it::HasLine(again, L"Quillon is not installed; nothing to remove"));
}

TEST_F(QuillonSample, APersonRemovesItThroughWinesInstalledProgramsTool) {
  ASSERT_EQ(Install().exitCode, 0u);
  // The tool runs the entry's plain uninstall command, whose boxes a person
  // answers: press OK on each box of that caption.
  std::atomic<bool> done{false};
  std::atomic<int> pressed{0};
  std::thread person([&] {
    while (!done) {
      EnumWindows(PressOkOnUninstallBoxes, reinterpret_cast<LPARAM>(&pressed));
      Sleep(200);
    }
  });
  harness::RunOptions options;
  options.commandLine = L"uninstaller.exe --remove Quillon";
  harness::Run(options);
  const bool gone = GoneWithin(folder_ + L"\\Quillon.exe", 20000);
  done = true;
  person.join();
  EXPECT_TRUE(gone);
  EXPECT_GE(pressed.load(), 2);
  EXPECT_EQ(RegText(kEntryKey, L"DisplayName"), L"<none>");
}
