// The uninstaller role of the stub, on the uninstaller the packer built into
// the spine test product: its hooks, its exit codes, its boxes, and the
// removal of its own file after it has ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "functions/extract/archivesource.h"
#include "functions/extract/extractarchive.h"
#include "harness.h"
#include "installer.h"
#include "testpaths.h"

using it::Hooks;
using it::Logged;

namespace {

const wchar_t kCaption[] = L"Quillon卸载";

// The uninstaller of a packed installer (uninst.exe in its UNINST.7Z),
// unpacked into <folder> by the installer's own unpacking.
std::wstring ExtractUninstaller(const std::wstring& setup, const std::wstring& folder) {
  HMODULE image = LoadLibraryExW(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!image) return {};
  HRSRC info = FindResourceW(image, L"UNINST.7Z", L"_7Z");
  HGLOBAL data = info ? LoadResource(image, info) : nullptr;
  const Byte* bytes = data ? static_cast<const Byte*>(LockResource(data)) : nullptr;
  bool ok = false;
  if (bytes) {
    brix::MemorySource source(bytes, SizeofResource(image, info), true);
    ok = brix::ExtractArchive(source, folder, nullptr, nullptr).Ok();
  }
  FreeLibrary(image);
  const std::wstring target = folder + L"\\uninst.exe";
  return ok && testsupport::FileExists(target) ? target : std::wstring();
}

class Uninstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = testsupport::MakeTempDir(L"uninst");
    exe_ = ExtractUninstaller(testsupport::BinPath(L"spine_setup.exe"), folder_);
    ASSERT_FALSE(exe_.empty());
  }
  void TearDown() override { testsupport::RemoveTree(folder_); }
  harness::RunResult Run(const std::vector<std::wstring>& args, harness::MessageBoxHandler onBox = nullptr) {
    return it::RunInstaller(exe_, args, onBox);
  }
  bool GoneWithin(const std::wstring& path, DWORD ms) {
    for (DWORD waited = 0; waited < ms; waited += 100) {
      if (!testsupport::FileExists(path)) return true;
      Sleep(100);
    }
    return !testsupport::FileExists(path);
  }
  std::wstring folder_, exe_;
};

TEST_F(Uninstaller, SilentRunsItsHooksInOrderFromItsOwnFolderAndThenRemovesItself) {
  auto r = Run({L"/InstallSlience", L"true"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty());
  EXPECT_EQ(Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeUninstall",
                                                  L"BrixSE_OnUninstall", L"BrixSE_AfterUninstall"}));
  EXPECT_EQ(Logged(r, L"InstallPath"), folder_);
  EXPECT_EQ(Logged(r, L"global_ss_install"), L"true");
  // Its file goes once it has ended, and the folder with it, being empty.
  EXPECT_TRUE(GoneWithin(exe_, 15000));
  EXPECT_TRUE(GoneWithin(folder_, 5000));
}

TEST_F(Uninstaller, AFolderWithOtherFilesInItStays) {
  ASSERT_TRUE(testsupport::WriteFileBytes(folder_ + L"\\mine.txt", "user data"));
  EXPECT_EQ(Run({L"/InstallSlience", L"true"}).exitCode, 0u);
  EXPECT_TRUE(GoneWithin(exe_, 15000));
  Sleep(500);
  EXPECT_TRUE(testsupport::FileExists(folder_ + L"\\mine.txt"));
  // And the log says why the folder stayed.
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64] = {};
  swprintf(name, 64, L"QuillClientUninstall_%04d-%02d-%02d.log", now.wYear, now.wMonth, now.wDay);
  const std::string log = testsupport::ReadFileBytes(std::wstring(temp) + name);
  const std::string folder = harness::ToUtf8(folder_);
  EXPECT_NE(log.find("kept " + folder + ": it holds files the product did not install"), std::string::npos) << log;
}

TEST_F(Uninstaller, APersonConfirmsAndIsToldTheOutcome) {
  auto r = Run({}, harness::Press(IDOK));
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 2u);
  EXPECT_EQ(r.boxes[0].caption, kCaption);
  EXPECT_EQ(r.boxes[0].text, L"您确定要完全移除Quillon及其所有组件吗？");
  EXPECT_EQ(r.boxes[1].text, L"Quillon已成功从您的计算机中移除。");
  EXPECT_EQ(Logged(r, L"global_ss_install"), L"false");
}

TEST_F(Uninstaller, CancelAtTheConfirmationRemovesNothingAndExitsWithOne) {
  auto r = Run({}, harness::Press(IDCANCEL));
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
  Sleep(1000);
  EXPECT_TRUE(testsupport::FileExists(exe_));
}

TEST_F(Uninstaller, AReportedFailureExitsWithTwoAndKeepsTheUninstaller) {
  auto failed = Run({L"/TestFailed", L"1"}, harness::Press(IDOK));
  EXPECT_EQ(failed.exitCode, 2u);
  ASSERT_EQ(failed.boxes.size(), 2u);
  EXPECT_EQ(failed.boxes[1].text, L"Quillon未能完全移除，详情请查看日志。");
  Sleep(1000);
  EXPECT_TRUE(testsupport::FileExists(exe_));
}

TEST_F(Uninstaller, AScriptErrorShowsTheErrorBoxAndExitsWithTwo) {
  auto r = Run({L"/InstallSlience", L"true", L"/TestFail", L"OnUninstall"}, harness::Press(IDOK));
  EXPECT_EQ(r.exitCode, 2u);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, L":-( 杯具，脚本执行时发生错误");
  EXPECT_EQ(Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeUninstall",
                                                  L"BrixSE_OnUninstall"}));
  EXPECT_FALSE(it::HasLine(r, L"uninstall done"));
  Sleep(1000);
  EXPECT_TRUE(testsupport::FileExists(exe_));
}

// uninst.exe comes from the uninstaller's own stub, without the window.
TEST_F(Uninstaller, IsBuiltFromTheSmallerUninstallerStub) {
  auto size = [](const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ? uint64_t(data.nFileSizeLow) : 0;
  };
  const uint64_t stub = size(testsupport::BinPath(L"brixuninst_stub.exe"));
  ASSERT_GT(stub, 0u);
  EXPECT_GT(size(exe_), stub);
  EXPECT_LT(size(exe_), size(testsupport::BinPath(L"brixsetup_stub.exe")));
}

// The bare uninstaller stub, say packed as a setup.exe by mistake, must
// not start removing anything.
TEST(UninstallerStub, WithoutItsProductItRefusesAndExitsWithTwo) {
  const std::wstring folder = testsupport::MakeTempDir(L"ustub");
  const std::wstring exe = folder + L"\\setup.exe";
  ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"brixuninst_stub.exe").c_str(), exe.c_str(), FALSE));
  auto r = it::RunInstaller(exe, {L"/InstallSlience", L"true"}, harness::Press(IDOK));
  EXPECT_EQ(r.exitCode, 2u);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].text, L"This program is an uninstaller stub without its product.");
  EXPECT_TRUE(testsupport::FileExists(exe));
  testsupport::RemoveTree(folder);
}

}  // namespace
