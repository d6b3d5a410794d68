// The installer's start-up sequence, run for real under Wine.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <ostream>
#include <future>
#include <thread>

#include "harness.h"
#include "installer.h"
#include "testpaths.h"

using it::CopyInstaller;
using it::HasLine;
using it::Hooks;
using it::Logged;
using it::RunInstaller;

namespace {

const std::wstring kSetup = L"spine_setup.exe";
const std::vector<std::wstring> kAllHooks = {L"BrixSE_BeforeInit", L"BrixSE_BeforeInstall", L"BrixSE_OnInstall",
                                             L"BrixSE_BeforeComplete", L"BrixSE_AfterComplete"};
const wchar_t kErrorCaption[] = L":-( 杯具，脚本执行时发生错误";
const wchar_t kErrorRequest[] = L"请向我们反馈以上错误信息，以便我们改善产品质量！";

// Silent, with its own single-instance object and a direct product start.
std::vector<std::wstring> Silent(std::vector<std::wstring> extra = {}) {
  std::vector<std::wstring> a{L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(), L"/TestDirect",
                              L"1"};
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

bool WaitForFile(const std::wstring& path, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (testsupport::FileExists(path)) return true;
    Sleep(50);
  }
  return testsupport::FileExists(path);
}

std::wstring ReadPendingRenames() {
  HKEY key;
  std::wstring all;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &key))
    return all;
  DWORD size = 0;
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == 0 && size) {
    std::wstring buf(size / 2 + 1, L'\0');
    RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(&buf[0]), &size);
    for (wchar_t& c : buf)
      if (c == L'\0') c = L'|';
    all = buf;
  }
  RegCloseKey(key);
  return all;
}

std::wstring Lower(std::wstring s) {
  CharLowerW(&s[0]);
  return s;
}

}  // namespace

// --- silent mode ----------------------------------------------------------

TEST(SilentInstall, RunsTheFiveHooksInOrderAndExitsZero) {
  auto exe = CopyInstaller(kSetup);
  auto r = RunInstaller(exe, Silent());
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(Hooks(r), kAllHooks);
  EXPECT_TRUE(HasLine(r, L"global_ss_install==true ~!"));
  EXPECT_TRUE(HasLine(r, L"start ss install!"));
  EXPECT_EQ(Logged(r, L"global_ss_install"), L"true");
  EXPECT_TRUE(r.boxes.empty());
}

TEST(SilentInstall, WritesTheDailyLogAndSchedulesItsFilesForDeletion) {
  auto exe = CopyInstaller(kSetup, L"setup_log.exe");
  auto r = RunInstaller(exe, Silent());
  ASSERT_EQ(Hooks(r).size(), 5u);

  wchar_t tmp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, tmp);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64];
  swprintf(name, 64, L"QuillClientInstall_%d-%02d-%02d.log", now.wYear, now.wMonth, now.wDay);
  std::string log = testsupport::ReadFileBytes(std::wstring(tmp) + name);
  EXPECT_NE(log.find("] [info] ["), std::string::npos);
  EXPECT_NE(log.find("Lua_Logout: "), std::string::npos);
  EXPECT_NE(log.find("log:hook:BrixSE_AfterComplete"), std::string::npos);

  std::wstring pending = Lower(ReadPendingRenames());
  EXPECT_NE(pending.find(Lower(exe.substr(2))), std::wstring::npos) << pending;
  EXPECT_NE(pending.find(L"quillclientinstall.log"), std::wstring::npos);
}

TEST(SilentInstall, MarkerInTheFileNameCreatesTheAppDataFolder) {
  wchar_t local[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, local, CSIDL_LOCAL_APPDATA, FALSE));
  std::wstring folder = std::wstring(local) + L"\\Quillon";
  testsupport::RemoveTree(folder);

  auto plain = CopyInstaller(kSetup, L"setup.exe");
  RunInstaller(plain, Silent());
  EXPECT_FALSE(testsupport::FileExists(folder));

  auto marked = CopyInstaller(kSetup, L"Quillon_setup@ung_145.exe");
  auto r = RunInstaller(marked, Silent());
  EXPECT_EQ(Hooks(r), kAllHooks);
  EXPECT_TRUE(testsupport::FileExists(folder));
  testsupport::RemoveTree(folder);
}

// --- run mode -------------------------------------------------------------

struct ModeCase {
  std::vector<std::wstring> args;
  bool silent;
};
void PrintTo(const ModeCase& c, std::ostream* os) {
  *os << (c.silent ? "silent:" : "window:");
  for (const auto& a : c.args) *os << " " << harness::ToUtf8(a);
}

class RunMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(RunMode, DecidedByOptionAndConfiguration) {
  std::vector<std::wstring> args{L"/TestMutexName", it::UniqueMutexName(), L"/TestDirect", L"1"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  auto r = RunInstaller(CopyInstaller(kSetup), args);
  EXPECT_EQ(r.exitCode, 0u);
  if (GetParam().silent) {
    EXPECT_EQ(Hooks(r), kAllHooks);
    EXPECT_TRUE(HasLine(r, L"start ss install!"));
  } else {
    // Window mode: only the before-init hook runs before the window.
    EXPECT_EQ(Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
    EXPECT_FALSE(HasLine(r, L"start ss install!"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunMode,
    ::testing::Values(ModeCase{{}, false}, ModeCase{{L"/InstallSlience", L"true"}, true},
                      ModeCase{{L"/InstallSlience", L"true", L"/TestEnableSs", L"0"}, true},
                      ModeCase{{L"/InstallSlience", L"TRUE"}, false}, ModeCase{{L"/InstallSlience", L"1"}, false},
                      ModeCase{{L"/InstallSlience"}, false}, ModeCase{{L"/InstallSilence", L"true"}, false},
                      ModeCase{{L"/TestSsInstall", L"1"}, true},
                      ModeCase{{L"/TestSsInstall", L"1", L"/TestEnableSs", L"0"}, false}));

// --- options --------------------------------------------------------------

TEST(Options, InstallPathGetsTheProductFolderUnlessItEndsWithIt) {
  auto exe = CopyInstaller(kSetup);
  auto path = [&](std::vector<std::wstring> extra) { return Logged(RunInstaller(exe, Silent(extra)), L"InstallPath"); };
  EXPECT_EQ(path({L"/InstallPath", L"D:\\Apps"}), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path({L"/InstallPath", L"D:\\Apps\\"}), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path({L"/InstallPath", L"D:\\Apps\\Quillon"}), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path({L"/InstallPath", L"D:\\Apps\\quillon"}), L"D:\\Apps\\quillon\\Quillon");
  EXPECT_EQ(path({L"/InstallPath", L"D:\\My Apps"}), L"D:\\My Apps\\Quillon");
  // The option beats what the before-init hook set; an empty one leaves it.
  EXPECT_EQ(path({L"/TestInitSetsPath", L"C:\\FromHook", L"/InstallPath", L"E:\\X"}), L"E:\\X\\Quillon");
  EXPECT_EQ(path({L"/TestInitSetsPath", L"C:\\FromHook", L"/InstallPath"}), L"C:\\FromHook");
}

TEST(Options, StartWithWindowsOnlyForTheValueOne) {
  auto exe = CopyInstaller(kSetup);
  auto chk = [&](const std::wstring& v) {
    return Logged(RunInstaller(exe, Silent({L"/InstallNormalQuillon", v})), L"ShouldStartWithWindowsChk");
  };
  EXPECT_EQ(chk(L"1"), L"true");
  EXPECT_EQ(chk(L"01"), L"true");
  EXPECT_EQ(chk(L"0"), L"nil");
  EXPECT_EQ(chk(L"2"), L"nil");
  EXPECT_EQ(chk(L"x"), L"nil");
}

// --- script errors --------------------------------------------------------

struct ErrorCase {
  const wchar_t* how;
  const wchar_t* firstLine;
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << harness::ToUtf8(c.how); }

class ScriptError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ScriptError, ShowsTheBoxWithCallStackAndEndsTheProcess) {
  auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/TestFail", L"OnInstall", L"/TestHow", GetParam().how}));
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 1u);
  const auto& box = r.boxes[0];
  EXPECT_EQ(box.caption, kErrorCaption);
  const std::wstring head = std::wstring(GetParam().firstLine) + L"\n      <call stack>\n-> | ";
  EXPECT_EQ(box.text.compare(0, head.size(), head), 0) << harness::ToUtf8(box.text);
  EXPECT_NE(box.text.find(L"\n--  | "), std::wstring::npos);
  const std::wstring tail = std::wstring(L"]\n") + kErrorRequest;
  ASSERT_GE(box.text.size(), tail.size());
  EXPECT_EQ(box.text.substr(box.text.size() - tail.size()), tail);
  // Nothing after the failing hook runs.
  EXPECT_EQ(Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeInstall", L"BrixSE_OnInstall"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, ScriptError,
                         ::testing::Values(ErrorCase{L"string", L"x"}, ErrorCase{L"table", L"(null)"},
                                           ErrorCase{L"nilcall", L"?:0: attempt to call field 'Lua_HttpPost' (a nil value)"}));

TEST(ScriptErrorInFirstHook, EndsBeforeTheRunModeIsDecided) {
  auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/TestFail", L"BeforeInit"}));
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
  EXPECT_FALSE(HasLine(r, L"start ss install!"));
}

// --- single instance ------------------------------------------------------

TEST(SingleInstance, ObjectNameIsTheDefaultWithTheAppId) {
  auto r = RunInstaller(CopyInstaller(kSetup), {L"/InstallSlience", L"true", L"/TestDirect", L"1"});
  EXPECT_TRUE(HasLine(r, L" szObjectName = Global\\{1CF5C34D-F0D8-4507-8600-70E64159BB61}145 "));
  auto own = RunInstaller(CopyInstaller(kSetup), {L"/InstallSlience", L"true", L"/TestDirect", L"1",
                                                  L"/TestMutexName", L"Local\\quill-own-name"});
  EXPECT_TRUE(HasLine(own, L" szObjectName = Local\\quill-own-name "));
}

TEST(SingleInstance, SecondInstallerEndsUnlessStartedWithTheSilentKey) {
  const std::wstring mutex = it::UniqueMutexName();
  auto firstExe = CopyInstaller(kSetup);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> waiting;
  std::atomic<bool> sawBox{false};
  std::thread first([&] {
    RunInstaller(firstExe, {L"/InstallSlience", L"true", L"/TestMutexName", mutex, L"/TestDirect", L"1", L"/TestBox", L"1"},
                 [&](const harness::MessageBoxRecord&) {
                   if (!sawBox.exchange(true)) waiting.set_value();
                   released.wait();
                   return IDOK;
                 });
  });
  ASSERT_EQ(waiting.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);

  auto second = RunInstaller(CopyInstaller(kSetup), {L"/TestMutexName", mutex, L"/TestDirect", L"1"});
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_TRUE(HasLine(second, L"CreateAppInstance return true"));
  EXPECT_TRUE(Hooks(second).empty());

  auto third = RunInstaller(CopyInstaller(kSetup), {L"/TestMutexName", mutex, L"/TestDirect", L"1", L"/InstallSlience"});
  EXPECT_FALSE(HasLine(third, L"CreateAppInstance return true"));
  EXPECT_EQ(Hooks(third), std::vector<std::wstring>{L"BrixSE_BeforeInit"});  // key without "true": window mode

  release.set_value();
  first.join();
}

// --- install-finished notice ----------------------------------------------

TEST(FinishedNotice, SentToTheListeningWindow) {
  harness::ListeningWindow listener;
  ASSERT_TRUE(listener.Handle()) << listener.CreateError();
  auto handle = std::to_wstring(reinterpret_cast<ULONG_PTR>(listener.Handle()));
  auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallListenWnd", handle}));
  EXPECT_EQ(Hooks(r).size(), 5u);
  // Sent, not posted: it has arrived by the time the installer ended.
  auto msgs = listener.Messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].id, 3014u);
  EXPECT_EQ(msgs[0].wParam, 0u);
  EXPECT_EQ(msgs[0].lParam, 0);
}

TEST(FinishedNotice, AClosedListenerIsReplacedByAWindowOfItsClass) {
  harness::ListeningWindow gone;
  ASSERT_TRUE(gone.Handle());
  auto handle = std::to_wstring(reinterpret_cast<ULONG_PTR>(gone.Handle()));
  gone.Destroy();
  harness::ListeningWindow byClass(L"Global\\{C81DE3C6-FDA4-4458-9718-1F6946117266}");
  ASSERT_TRUE(byClass.Handle()) << byClass.CreateError();
  RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallListenWnd", handle}));
  ASSERT_EQ(byClass.Messages().size(), 1u);
  EXPECT_EQ(byClass.Messages()[0].id, 3014u);
}

TEST(FinishedNotice, NoHandleOrNonNumberSendsNothing) {
  harness::ListeningWindow listener(L"Global\\{C81DE3C6-FDA4-4458-9718-1F6946117266}");
  for (const wchar_t* v : {L"0", L"abc"}) {
    auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallListenWnd", v}));
    EXPECT_EQ(Hooks(r).size(), 5u);
  }
  EXPECT_TRUE(listener.Messages().empty());
}

// --- install paths that cannot be used whole ----------------------------------

TEST(InstallPathLimits, AnOptionTooLongForTheProductFolderIsRefusedBeforeAnyStep) {
  const std::wstring longPath = L"C:\\lp\\" + std::wstring(300, L'a') + L"\\target";
  auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallPath", longPath}));
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(Hooks(r).empty());
  EXPECT_TRUE(HasLine(r, L"InstallPath does not fit 260 units with the product folder, nothing installed!"));
  // 250 letters fit alone, but not with the product folder appended.
  auto r2 = RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallPath", L"C:\\" + std::wstring(250, L'b')}));
  EXPECT_TRUE(Hooks(r2).empty());
}

TEST(InstallPathLimits, AFolderWhoseExpansionIsTooLongRunsNoInstallStep) {
  const std::wstring path = L"%ProgramFiles%\\" + std::wstring(235, L'c');
  auto r = RunInstaller(CopyInstaller(kSetup), Silent({L"/InstallPath", path}));
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
  EXPECT_TRUE(HasLine(r, L"Install folder \"" + path + L"\\Quillon\" does not fit 260 units once expanded, nothing installed!"));
}

// --- start of the product -------------------------------------------------

class ProductStart : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::MakeTempDir(L"product");
    folder_ = root_ + L"\\Quillon";
    CreateDirectoryW(folder_.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"Quillon.exe").c_str(), (folder_ + L"\\Quillon.exe").c_str(), FALSE));
  }
  void TearDown() override { testsupport::RemoveTree(root_); }
  std::vector<harness::ProductStart> Starts() {
    WaitForFile(folder_ + L"\\started.txt", 15000);
    Sleep(100);  // let the record be written whole
    return harness::ReadProductStarts(folder_ + L"\\started.txt");
  }
  std::wstring root_, folder_;
};

TEST_F(ProductStart, DirectlyFromTheFolderReadBeforeTheHooks) {
  auto exe = CopyInstaller(kSetup, L"direct_setup.exe");
  auto r = RunInstaller(exe, Silent({L"/InstallPath", folder_}));
  ASSERT_EQ(Hooks(r).size(), 5u);
  auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  // The installer may be gone before the product looks at its parent, so
  // the parent is compared by process id.
  EXPECT_EQ(starts[0].parentPid, r.processId);
  EXPECT_FALSE(HasLine(r, L"ProcessLauncherExplorerLevel~!"));
}

TEST_F(ProductStart, AtTheShellLevelThroughExplorerAndMarksTheInstall) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegDeleteValueW(key, L"Install");
  std::vector<std::wstring> args{L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(),
                                 L"/InstallPath", folder_};
  auto r = RunInstaller(CopyInstaller(kSetup), args);
  EXPECT_TRUE(HasLine(r, L"ProcessLauncherExplorerLevel~!"));
  auto starts = Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].parentPid, r.processId);
  if (!starts[0].parentImage.empty()) EXPECT_EQ(Lower(starts[0].parentImage), L"explorer.exe");
  DWORD value = 0, size = sizeof value, type = 0;
  EXPECT_EQ(RegQueryValueExW(key, L"Install", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(value, 1u);
  // Only the value: other tests keep their own values in this key.
  RegDeleteValueW(key, L"Install");
  RegCloseKey(key);
}
