// The installer window's text and number rules, without a window.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <map>

#include "installpath.h"
#include "installworker.h"
#include "progressdisplay.h"
#include "testpaths.h"

namespace {

using brix::ResolvePathPlaceholder;

std::wstring Resolve(const std::wstring& text, const std::map<std::string, std::wstring>& globals) {
  return ResolvePathPlaceholder(text, [&](const std::string& name) {
    auto it = globals.find(name);
    return it == globals.end() ? std::wstring() : it->second;
  });
}

TEST(PathPlaceholder, ReplacedAndEndsWithTheProductFolderOnce) {
  const std::map<std::string, std::wstring> g{{"global_install_path", L"C:\\Program Files (x86)\\Harlow"},
                                              {"done", L"D:\\Apps\\Quillon"},
                                              {"lower", L"D:\\Apps\\quillon"},
                                              {"root", L"E:"}};
  EXPECT_EQ(Resolve(L"$global_install_path$", g), L"C:\\Program Files (x86)\\Harlow\\Quillon");
  EXPECT_EQ(Resolve(L"$done$", g), L"D:\\Apps\\Quillon");
  EXPECT_EQ(Resolve(L"$lower$", g), L"D:\\Apps\\quillon\\Quillon");  // case counts
  EXPECT_EQ(Resolve(L"$root$\\x $root$", g), L"E:\\x E:\\Quillon");     // every occurrence
  EXPECT_EQ(Resolve(L"$global_install_path$\\Quillon", g), L"C:\\Program Files (x86)\\Harlow\\Quillon");
}

TEST(PathPlaceholder, LeftAloneWithoutAValueOrAWholePlaceholder) {
  const std::map<std::string, std::wstring> g{{"empty", L""}, {"global_install_path", L"C:\\A"}};
  EXPECT_EQ(Resolve(L"$empty$", g), L"$empty$");
  EXPECT_EQ(Resolve(L"$missing$", g), L"$missing$");
  EXPECT_EQ(Resolve(L"C:\\Plain", g), L"C:\\Plain");  // nothing to replace: no folder added
  EXPECT_EQ(Resolve(L"$global_install_path", g), L"$global_install_path");
  EXPECT_EQ(Resolve(L"", g), L"");
  EXPECT_EQ(Resolve(L"$名字$", g), L"$名字$");
}

TEST(PathPlaceholder, EnvironmentReferencesInTheValueAreExpanded) {
  wchar_t expected[MAX_PATH] = {};
  ExpandEnvironmentStringsW(L"%ProgramFiles%\\Harlow\\Quillon", expected, MAX_PATH);
  EXPECT_EQ(Resolve(L"$p$", {{"p", L"%ProgramFiles%\\Harlow\\Quillon"}}), expected);
  // An unknown reference stays as written, as the system leaves it.
  EXPECT_EQ(Resolve(L"$p$", {{"p", L"%QUILL_NO_SUCH_VAR%\\x"}}), L"%QUILL_NO_SUCH_VAR%\\x\\Quillon");
}

TEST(ChosenFolder, GetsTheBaseFolderUnlessItEndsWithIt) {
  EXPECT_EQ(brix::ChosenInstallFolder(L"D:\\Apps", L"Harlow"), L"D:\\Apps\\Harlow");
  EXPECT_EQ(brix::ChosenInstallFolder(L"D:\\Apps\\Harlow", L"Harlow"), L"D:\\Apps\\Harlow");
  EXPECT_EQ(brix::ChosenInstallFolder(L"D:\\", L"Harlow"), L"D:\\Harlow");
  EXPECT_EQ(brix::ChosenInstallFolder(L"D:/Apps/", L"Harlow"), L"D:/Apps/Harlow");
  EXPECT_EQ(brix::ChosenInstallFolder(L"D:\\Apps\\harlow", L"Harlow"), L"D:\\Apps\\harlow\\Harlow");
  EXPECT_TRUE(brix::CheckDir(L"Harlow", L"Harlow"));  // no separator: all of it
  EXPECT_TRUE(brix::CheckDir(L"D:\\a/Harlow", L"Harlow"));
  EXPECT_FALSE(brix::CheckDir(L"D:\\Harlow\\", L"Harlow"));
}

TEST(ChosenFolder, DialogStartsAtTheNearestExistingFolder) {
  const std::wstring dir = testsupport::MakeTempDir(L"start");
  EXPECT_EQ(brix::FolderDialogStart(dir), dir);
  EXPECT_EQ(brix::FolderDialogStart(dir + L"\\Quillon"), dir);  // not made yet: its parent
  wchar_t programs[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE);
  EXPECT_EQ(brix::FolderDialogStart(L""), programs);
  EXPECT_EQ(brix::FolderDialogStart(dir + L"\\a\\b"), programs);
  testsupport::RemoveTree(dir);
}

TEST(InstallRequest, LegalPathsNeedADriveAndAFolderThatCanBeMade) {
  const std::wstring dir = testsupport::MakeTempDir(L"legal");
  EXPECT_TRUE(brix::IsLegalInstallPath(dir + L"\\a\\b"));
  EXPECT_TRUE(testsupport::FileExists(dir + L"\\a\\b"));  // made as a side effect
  EXPECT_TRUE(brix::IsLegalInstallPath(dir));             // already there
  EXPECT_FALSE(brix::IsLegalInstallPath(L"\\\\server\\share\\Quillon"));
  EXPECT_FALSE(brix::IsLegalInstallPath(L"relative\\Quillon"));
  EXPECT_FALSE(brix::IsLegalInstallPath(L""));
  // A file where the folder should be.
  testsupport::WriteFileBytes(dir + L"\\file", "x");
  EXPECT_FALSE(brix::IsLegalInstallPath(dir + L"\\file\\sub"));
  testsupport::RemoveTree(dir);
}

TEST(InstallRequest, TrailingBackslashGoesExceptAtADriveRoot) {
  EXPECT_EQ(brix::WithoutTrailingBackslash(L"C:\\Apps\\Quillon\\"), L"C:\\Apps\\Quillon");
  EXPECT_EQ(brix::WithoutTrailingBackslash(L"C:\\Apps\\Quillon"), L"C:\\Apps\\Quillon");
  EXPECT_EQ(brix::WithoutTrailingBackslash(L"C:\\"), L"C:\\");
}

TEST(InstallRequest, NeedAndItsMessage) {
  EXPECT_EQ(brix::ParseNeededBytes(L"182958560"), 182958560u);
  EXPECT_EQ(brix::ParseNeededBytes(L"  42abc"), 42u);
  EXPECT_EQ(brix::ParseNeededBytes(L"18446744073709551615"), 18446744073709551615u);
  EXPECT_EQ(brix::ParseNeededBytes(L"abc"), 0u);
  EXPECT_EQ(brix::ParseNeededBytes(L"-5"), 0u);
  EXPECT_EQ(brix::DiskSpaceMessage(182958560),
            L"磁盘剩余可用空间不足,安装程序需要174.48MB的空间来完成安装！");
  EXPECT_EQ(brix::DiskSpaceMessage(0), L"磁盘剩余可用空间不足,安装程序需要0.00MB的空间来完成安装！");
}

TEST(InstallRequest, FreeSpaceOfTheDriveNamedByThePath) {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(std::wstring(windows, 2).c_str(), &available, &total, &free));
  const uint64_t seen = brix::FreeBytesOfDrive(std::wstring(windows) + L"\\no\\such\\folder");
  // Other programs write meanwhile; the figure is the drive's, not 0.
  EXPECT_GT(seen, 0u);
  EXPECT_LT(seen > free.QuadPart ? seen - free.QuadPart : free.QuadPart - seen, 64ull << 20);
  EXPECT_EQ(brix::FreeBytesOfDrive(L"\\\\server\\share"), 0u);
}

TEST(Progress, LabelAndFigures) {
  EXPECT_EQ(brix::ProgressLabelText(7), L"安装中...  (7\uFF05)");
  EXPECT_EQ(brix::ProgressLabelText(100), L"安装中...  (100\uFF05)");
  EXPECT_EQ(brix::InstallBackgroundImage(1), L"Image/InstallBk1.png");
  EXPECT_EQ(brix::PayloadProgressFigure(71676710), 221u);
  EXPECT_EQ(brix::PayloadProgressFigure(0), 0u);
  EXPECT_EQ(brix::PayloadProgressFigure(4294967295ull), 13299u);
  // This test program carries no payload.
  EXPECT_EQ(brix::PayloadResourceSize(), 0u);
}

TEST(QueryNumber, ReadFromTheAnswerWithItsFallback) {
  EXPECT_EQ(brix::QueryNumberFrom(0, L" 42abc"), 42);
  EXPECT_EQ(brix::QueryNumberFrom(0, L"-17"), -17);
  EXPECT_EQ(brix::QueryNumberFrom(0, L"0"), brix::kFallbackQueryNumber);
  EXPECT_EQ(brix::QueryNumberFrom(0, L"abc"), brix::kFallbackQueryNumber);
  EXPECT_EQ(brix::QueryNumberFrom(0, L""), brix::kFallbackQueryNumber);
  EXPECT_EQ(brix::QueryNumberFrom(7, L"42"), brix::kFallbackQueryNumber);  // failed request
  EXPECT_EQ(brix::kFallbackQueryNumber, 1342395);
}

}  // namespace
