#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "scripttest.h"
#include "testpaths.h"

using scripttest::Eval;
using scripttest::Lit;
using testsupport::FileExists;

namespace {

class FileFunctions : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir(L"files"); }
  void TearDown() override {
    SetCurrentDirectoryW(testsupport::BinDir().c_str());
    testsupport::RemoveTree(dir_);
  }
  std::wstring P(const std::wstring& rel) const { return dir_ + L"\\" + rel; }
  void Write(const std::wstring& rel, const std::string& bytes = "data") {
    ASSERT_TRUE(testsupport::WriteFileBytes(P(rel), bytes));
  }
  void Mkdir(const std::wstring& rel) { CreateDirectoryW(P(rel).c_str(), nullptr); }
  std::wstring dir_;
};

}  // namespace

TEST_F(FileFunctions, CreateDirectoryMakesMissingParentsAndExpands) {
  EXPECT_EQ(Eval("r = Lua_CreateDirectory(" + Lit(P(L"a\\b\\c")) + ")"), L"true");
  EXPECT_TRUE(FileExists(P(L"a\\b\\c")));
  EXPECT_EQ(Eval("r = Lua_CreateDirectory(" + Lit(P(L"a")) + ")"), L"true");
  SetEnvironmentVariableW(L"QT_FILES_DIR", dir_.c_str());
  EXPECT_EQ(Eval("r = Lua_CreateDirectory('%QT_FILES_DIR%\\\\fromenv')"), L"true");
  EXPECT_TRUE(FileExists(P(L"fromenv")));
  EXPECT_EQ(Eval("r = Lua_CreateDirectory('')"), L"false");
  // No expansion for the existence test, expansion for creation.
  EXPECT_EQ(Eval("r = Lua_PathFileExists('%TEMP%')"), L"false");
  EXPECT_EQ(Eval("r = Lua_CreateDirectory('%TEMP%')"), L"true");
}

TEST_F(FileFunctions, CopyAndMoveFilesAndFolders) {
  Mkdir(L"src");
  Write(L"src\\one.txt", "1");
  Mkdir(L"src\\sub");
  Write(L"src\\sub\\two.txt", "2");
  EXPECT_EQ(Eval("r = Lua_CopyFile(" + Lit(P(L"src")) + ", " + Lit(P(L"copy")) + ")"), L"true");
  EXPECT_EQ(testsupport::ReadFileBytes(P(L"copy\\sub\\two.txt")), "2");
  Write(L"copy\\one.txt", "old");
  EXPECT_EQ(Eval("r = Lua_CopyFile(" + Lit(P(L"src\\one.txt")) + ", " + Lit(P(L"copy\\one.txt")) + ")"), L"true");
  EXPECT_EQ(testsupport::ReadFileBytes(P(L"copy\\one.txt")), "1");  // replaced without asking
  EXPECT_EQ(Eval("r = Lua_MoveFile(" + Lit(P(L"src")) + ", " + Lit(P(L"moved")) + ")"), L"true");
  EXPECT_FALSE(FileExists(P(L"src")));
  EXPECT_TRUE(FileExists(P(L"moved\\sub\\two.txt")));
}

TEST_F(FileFunctions, MissingSourcesFailAndTargetsAreUntouched) {
  Write(L"target.txt", "keep");
  for (const char* fn : {"Lua_CopyFile", "Lua_MoveFile", "Lua_RenameFile"})
    EXPECT_EQ(Eval(std::string("r = ") + fn + "(" + Lit(P(L"missing")) + ", " + Lit(P(L"target.txt")) + ")"),
              L"false")
        << fn;
  EXPECT_EQ(testsupport::ReadFileBytes(P(L"target.txt")), "keep");
  EXPECT_EQ(Eval("r = Lua_CopyFile('', " + Lit(P(L"x")) + ")"), L"false");
}

TEST_F(FileFunctions, RenameReplacesAnExistingTarget) {
  Write(L"a.txt", "a");
  Write(L"b.txt", "b");
  EXPECT_EQ(Eval("r = Lua_RenameFile(" + Lit(P(L"a.txt")) + ", " + Lit(P(L"b.txt")) + ")"), L"true");
  EXPECT_EQ(testsupport::ReadFileBytes(P(L"b.txt")), "a");
  EXPECT_FALSE(FileExists(P(L"a.txt")));
}

TEST_F(FileFunctions, DeletesTreatMissingPathsAsDeleted) {
  for (const char* fn : {"Lua_DeleteFile", "Lua_DeleteFileEx", "Lua_DelFileRecursive", "Lua_DeleteFileAfterReboot",
                         "Lua_DelFileRecursiveEx"})
    EXPECT_EQ(Eval(std::string("r = ") + fn + "(" + Lit(P(L"missing")) + ")"), L"true") << fn;
  EXPECT_EQ(Eval("r = Lua_DeleteFile('')"), L"true");
}

TEST_F(FileFunctions, DeleteFileAndDeleteFileExRemoveFilesAndFolders) {
  Write(L"f.txt");
  Mkdir(L"d");
  Write(L"d\\inner.txt");
  EXPECT_EQ(Eval("r = Lua_DeleteFile(" + Lit(P(L"f.txt")) + ")"), L"true");
  EXPECT_EQ(Eval("r = Lua_DeleteFileEx(" + Lit(P(L"d")) + ")"), L"true");
  EXPECT_FALSE(FileExists(P(L"f.txt")));
  EXPECT_FALSE(FileExists(P(L"d")));
}

TEST_F(FileFunctions, RecursiveDeleteReturnsNothingAndClearsReadOnlyInside) {
  Mkdir(L"tree");
  Mkdir(L"tree\\deep");
  Write(L"tree\\deep\\ro.txt");
  SetFileAttributesW(P(L"tree\\deep\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Eval("r = select('#', Lua_DelFileRecursive(" + Lit(P(L"tree")) + "))"), L"0");
  EXPECT_FALSE(FileExists(P(L"tree")));

  // A read-only file named directly is not made writable.
  Write(L"ro.txt");
  SetFileAttributesW(P(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Eval("r = Lua_DelFileRecursive(" + Lit(P(L"ro.txt")) + ")"), L"nil");
  EXPECT_TRUE(FileExists(P(L"ro.txt")));
  SetFileAttributesW(P(L"ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileFunctions, RecursiveDeleteExReportsALockedFileAndKeepsItsFolders) {
  Mkdir(L"tree");
  Mkdir(L"tree\\locked");
  Write(L"tree\\locked\\busy.txt");
  Write(L"tree\\free.txt");
  Mkdir(L"tree\\other");
  Write(L"tree\\other\\x.txt");
  HANDLE busy = CreateFileW(P(L"tree\\locked\\busy.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(busy, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Eval("calls = {} r = select('#', Lua_DelFileRecursiveEx(" + Lit(P(L"tree")) +
                 ", function(p, e) calls[#calls + 1] = p .. '|' .. e end))"),
            L"0");
  CloseHandle(busy);
  EXPECT_EQ(Eval("r = #calls"), L"1");
  EXPECT_EQ(Eval("r = calls[1]"), P(L"tree\\locked\\busy.txt") + L"|" + std::to_wstring(ERROR_SHARING_VIOLATION));
  EXPECT_TRUE(FileExists(P(L"tree\\locked\\busy.txt")));
  EXPECT_FALSE(FileExists(P(L"tree\\free.txt")));
  EXPECT_FALSE(FileExists(P(L"tree\\other")));
  // The callback reference is gone once the call returned.
  EXPECT_EQ(Eval("r = Lua_DelFileRecursiveEx(" + Lit(P(L"missing")) + ", 'not a function')"), L"true");
}

TEST_F(FileFunctions, RecursiveDeletesRefuseProtectedFoldersWhateverTheSpelling) {
  wchar_t appData[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_LOCAL_APPDATA, FALSE));
  const std::wstring sentinel = std::wstring(appData) + L"\\quill_protected_sentinel.txt";
  ASSERT_TRUE(testsupport::WriteFileBytes(sentinel, "keep"));
  std::wstring upper = appData;
  CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
  EXPECT_EQ(Eval("r = Lua_DelFileRecursive(" + Lit(appData) + ")"), L"false");
  EXPECT_EQ(Eval("r = Lua_DelFileRecursive(" + Lit(L"\\\\?\\" + upper + L"\\") + ")"), L"false");
  EXPECT_EQ(Eval("r = Lua_DelFileRecursiveEx(" + Lit(std::wstring(appData) + L"\\..") + ", function() end)"),
            L"false");
  EXPECT_TRUE(FileExists(sentinel));
  DeleteFileW(sentinel.c_str());
  // An ordinary folder below it still goes.
  Mkdir(L"product");
  Write(L"product\\f.txt");
  EXPECT_EQ(Eval("r = select('#', Lua_DelFileRecursive(" + Lit(P(L"product")) + "))"), L"0");
  EXPECT_FALSE(FileExists(P(L"product")));
}

TEST_F(FileFunctions, RecursiveDeleteOfTheCurrentDirectoryMovesToItsParent) {
  Mkdir(L"cwd");
  Write(L"cwd\\f.txt");
  ASSERT_TRUE(SetCurrentDirectoryW(P(L"cwd").c_str()));
  Eval("Lua_DelFileRecursive(" + Lit(P(L"cwd")) + ")");
  EXPECT_FALSE(FileExists(P(L"cwd")));
  wchar_t now[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, now);
  EXPECT_EQ(std::wstring(now), dir_);
}

TEST_F(FileFunctions, OverlongExpansionFailsWithoutActing) {
  SetEnvironmentVariableW(L"QT_LONG", std::wstring(250, L'x').c_str());
  EXPECT_EQ(Eval("r = Lua_CreateDirectory('%QT_LONG%\\\\%QT_LONG%')"), L"false");
  EXPECT_EQ(Eval("r = Lua_DeleteFileEx('%QT_LONG%\\\\%QT_LONG%')"), L"false");
}

TEST_F(FileFunctions, UniqueNameIsFreeInItsFolder) {
  Write(L"sh000001.tmp");
  std::wstring unique = Eval("r = Lua_PathYetAnotherMakeUniqueName(" + Lit(P(L"sh000001.tmp")) + ")");
  ASSERT_FALSE(unique.empty());
  EXPECT_NE(unique, P(L"sh000001.tmp"));
  EXPECT_FALSE(FileExists(unique));
  EXPECT_EQ(unique.substr(0, dir_.size()), dir_);
}
