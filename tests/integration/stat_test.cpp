// Statistics reports of real installers, recorded by the qvstat.dll
// stand-in: silent installs of the Quillon sample and of the spine product.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "installer.h"
#include "testpaths.h"

namespace {

struct Call {
  std::string text;  // without the thread id
  std::string thread;
};

std::vector<Call> ReadCalls(const std::wstring& file) {
  std::vector<Call> out;
  std::istringstream in(testsupport::ReadFileBytes(file));
  std::string line;
  while (std::getline(in, line)) {
    const size_t tid = line.rfind(" tid=");
    Call c;
    c.text = line.substr(0, tid);
    if (tid != std::string::npos) c.thread = line.substr(tid + 5);
    out.push_back(c);
  }
  return out;
}

std::vector<std::string> Texts(const std::vector<Call>& calls) {
  std::vector<std::string> out;
  for (const auto& c : calls) out.push_back(c.text);
  return out;
}

std::string Utf8(const std::wstring& s) { return harness::ToUtf8(s); }

// The union id blanked out, for tests that leave the registry value to the
// one test that sets it.
std::vector<std::string> AnyUnionId(std::vector<std::string> calls) {
  for (auto& c : calls)
    if (c.compare(0, 13, "stat_unionid ") == 0) c = "stat_unionid *";
  return calls;
}

// The whole conversation of a silent install with the library at `lib`.
std::vector<std::string> Expected(const std::wstring& lib, int unionId) {
  return {"load " + Utf8(lib),
          "stat_appid 145",
          "stat_unionid " + std::to_string(unionId),
          "stat_version_ex 2 0 0 18",
          "stat_dispatch_addr stat.quillon.example 8700",
          "stat_init",
          "stat_offline",
          "stat_close 3000",
          "unload"};
}

// HKCU\SOFTWARE\Quillon "UnionId" for the length of a test, restored after.
// Other tests delete that key when they finish, so every access opens it anew.
class UnionIdValue {
 public:
  UnionIdValue() {
    HKEY key = Open();
    DWORD size = sizeof saved_;
    had_ = key && RegQueryValueExW(key, L"UnionId", nullptr, &type_, reinterpret_cast<BYTE*>(&saved_), &size) ==
                      ERROR_SUCCESS;
    if (key) RegCloseKey(key);
  }
  ~UnionIdValue() {
    if (had_) {
      if (HKEY key = Open()) {
        RegSetValueExW(key, L"UnionId", 0, type_, reinterpret_cast<const BYTE*>(&saved_), sizeof saved_);
        RegCloseKey(key);
      }
    } else {
      Remove();
    }
  }
  void Set(DWORD value) {
    if (HKEY key = Open()) {
      RegSetValueExW(key, L"UnionId", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
      RegCloseKey(key);
    }
  }
  void Remove() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      RegDeleteValueW(key, L"UnionId");
      RegCloseKey(key);
    }
  }
  bool Is(DWORD value) {
    HKEY key = nullptr;
    DWORD got = 0, size = sizeof got, type = 0;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    const bool ok = RegQueryValueExW(key, L"UnionId", nullptr, &type, reinterpret_cast<BYTE*>(&got), &size) ==
                        ERROR_SUCCESS &&
                    type == REG_DWORD && got == value;
    RegCloseKey(key);
    return ok;
  }

 private:
  static HKEY Open() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
      return nullptr;
    return key;
  }
  DWORD type_ = 0, saved_ = 0;
  bool had_ = false;
};

class StatReports : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testsupport::MakeTempDir(L"stat");
    ASSERT_FALSE(root_.empty());
    folder_ = root_ + L"\\Quillon";
    CreateDirectoryW(folder_.c_str(), nullptr);
    // The sample starts its product at the shell level: give it one.
    CopyFileW(testsupport::BinPath(L"Quillon.exe").c_str(), (folder_ + L"\\Quillon.exe").c_str(), FALSE);
  }
  void TearDown() override { testsupport::RemoveTree(root_); }

  std::wstring PlaceLibrary(const std::wstring& folder) {
    const std::wstring lib = folder + L"\\qvstat.dll";
    EXPECT_TRUE(CopyFileW(testsupport::BinPath(L"qvstat.dll").c_str(), lib.c_str(), FALSE));
    return lib;
  }

  // A silent run that records the library calls in record.
  harness::RunResult Run(const std::wstring& exe, std::vector<std::wstring> args, const std::wstring& record) {
    std::vector<std::wstring> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    harness::RunOptions opt;
    opt.commandLine = harness::BuildCommandLine(all);
    opt.environment = {{L"QUILL_STAT_RECORD", record}, {L"QUILL_RECORD", root_ + L"\\started.txt"}};
    opt.timeoutMs = 60000;
    return harness::Run(opt);
  }

  std::wstring root_, folder_;
};

}  // namespace

TEST_F(StatReports, QuillonSampleReportsToTheLibraryInItsInstallFolder) {
  const std::wstring lib = PlaceLibrary(folder_);
  const std::wstring exe = it::CopyInstaller(L"quillon_setup.exe");
  UnionIdValue unionId;

  // One test for both values: they share the one registry value.
  unionId.Remove();
  const std::wstring first = root_ + L"\\first.txt";
  auto r = Run(exe, {L"/InstallSlience", L"true", L"/InstallPath", root_}, first);
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  auto calls = ReadCalls(first);
  EXPECT_EQ(Texts(calls), Expected(lib, 27021));
  // Silent mode: everything on the installer's main thread.
  for (const auto& c : calls) {
    if (c.text.compare(0, 5, "stat_") == 0) {
      EXPECT_EQ(c.thread, calls[1].thread) << c.text;
    }
  }

  const std::wstring second = root_ + L"\\second.txt";
  // A test that deletes the key meanwhile spoils a run: that one is repeated.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DeleteFileW(second.c_str());
    unionId.Set(100);
    r = Run(exe, {L"/InstallSlience", L"true", L"/InstallPath", root_}, second);
    if (unionId.Is(100)) break;
  }
  EXPECT_EQ(Texts(ReadCalls(second)), Expected(lib, 100));
  testsupport::RemoveTree(it::DirOf(exe));
}

TEST_F(StatReports, LibraryBesideTheInstallerWhenTheInstallPathHasNone) {
  // The spine product moves global_install_path away in its on-install hook,
  // so the library is looked for there in vain and then beside the installer.
  const std::wstring exe = it::CopyInstaller(L"spine_setup.exe");
  const std::wstring beside = PlaceLibrary(it::DirOf(exe));
  PlaceLibrary(folder_);
  const std::wstring record = root_ + L"\\record.txt";
  auto r = Run(exe,
               {L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(), L"/TestDirect", L"1",
                L"/InstallPath", root_},
               record);
  ASSERT_TRUE(r.started);
  EXPECT_EQ(it::Hooks(r).size(), 5u);
  EXPECT_EQ(AnyUnionId(Texts(ReadCalls(record))), AnyUnionId(Expected(beside, 27021)));
  testsupport::RemoveTree(it::DirOf(exe));
}
