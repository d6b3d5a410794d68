// The script callbacks of Lua_UnCompress7z: progress per file, and the
// create-error answers 0 (retry), 1 (skip) and anything else (abort).
#include <windows.h>

#include <gtest/gtest.h>

#include "extracttest.h"
#include "sevenzwriter.h"
#include "testpaths.h"

using extracttest::Fixture;
using extracttest::Lit;
using extracttest::Lock;
using extracttest::Script;
using testsupport::FileExists;
using testsupport::ReadFileBytes;

namespace {

class Callbacks : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"uncb");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
    archive_ = dir_ + L"\\abc.7z";
    ASSERT_TRUE(testsupport::WriteFileBytes(
        archive_, sevenz::StoredArchive({{L"a.txt", "A"}, {L"b.txt", "B"}, {L"c.txt", "C"}})));
  }
  void TearDown() override {
    Lock::Release();
    testsupport::RemoveTree(dir_);
  }
  std::wstring D(const wchar_t* name) const { return dest_ + L"\\" + name; }
  // Unpacks abc.7z with a create-error callback running `body`; gives
  // "<result> <path>#<code>|...".
  std::wstring WithErrorCallback(const std::string& body) {
    return Script("local calls = {} local ok = Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) +
               ", true, nil, function(p, e) calls[#calls + 1] = p .. '#' .. e " + body +
               " end) r = tostring(ok) .. ' ' .. table.concat(calls, '|')");
  }
  std::wstring Call(const wchar_t* name, int code) const {
    return D(name) + L"#" + std::to_wstring(code);
  }
  std::wstring dir_, dest_, archive_;
};

}  // namespace

TEST_F(Callbacks, RetryAfterTheCallbackFreedTheFileWritesIt) {
  Lock lock(D(L"b.txt"));
  ASSERT_TRUE(lock.Held());
  EXPECT_EQ(WithErrorCallback("Test_Unlock() return 0"), L"true " + Call(L"b.txt", ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadFileBytes(D(L"b.txt")), "B");
  EXPECT_EQ(ReadFileBytes(D(L"c.txt")), "C");
}

TEST_F(Callbacks, RetryThatFailsAgainAbortsWithoutAskingTwice) {
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(WithErrorCallback("return 0"), L"false " + Call(L"b.txt", ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadFileBytes(D(L"a.txt")), "A");
  EXPECT_FALSE(FileExists(D(L"c.txt")));
}

TEST_F(Callbacks, SkippingAFileBeforeTheLastStillSucceeds) {
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(WithErrorCallback("return 1"), L"true " + Call(L"b.txt", ERROR_SHARING_VIOLATION));
  Lock::Release();
  EXPECT_EQ(ReadFileBytes(D(L"a.txt")), "A");
  EXPECT_EQ(ReadFileBytes(D(L"b.txt")), "");  // left as it was
  EXPECT_EQ(ReadFileBytes(D(L"c.txt")), "C");
}

TEST_F(Callbacks, SkippingTheLastFileFails) {
  Lock lock(D(L"c.txt"));
  EXPECT_EQ(WithErrorCallback("return 1"), L"false " + Call(L"c.txt", ERROR_SHARING_VIOLATION));
  EXPECT_EQ(ReadFileBytes(D(L"b.txt")), "B");
}

TEST_F(Callbacks, AnyOtherAnswerAborts) {
  for (const char* answer : {"return 2", "return -1", "return 7"}) {
    Lock lock(D(L"b.txt"));
    DeleteFileW(D(L"c.txt").c_str());
    EXPECT_EQ(WithErrorCallback(answer), L"false " + Call(L"b.txt", ERROR_SHARING_VIOLATION)) << answer;
    EXPECT_FALSE(FileExists(D(L"c.txt"))) << answer;
  }
}

TEST_F(Callbacks, WithoutACallbackAFileThatCannotBeCreatedAborts) {
  Lock lock(D(L"a.txt"));
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) + ", true)"), L"false");
  EXPECT_FALSE(FileExists(D(L"b.txt")));
  // A value that is not a function leaves the callback empty.
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) + ", true, nil, 'skip')"), L"false");
  EXPECT_FALSE(FileExists(D(L"b.txt")));
}

TEST_F(Callbacks, ProgressHearsEachFileOnceWithItsFullPath) {
  EXPECT_EQ(Script("local seen = {} local ok = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", " + Lit(dest_) +
                ", true, function(p) seen[#seen + 1] = p end) table.sort(seen)"
                " r = tostring(ok) .. ' ' .. table.concat(seen, '|')"),
            L"true " + extracttest::TreeFiles(dest_));
  // Each path is complete when reported.
  EXPECT_EQ(Script("local bad = 0 Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", " + Lit(dest_) +
                ", true, function(p) if not Lua_PathFileExists(p) then bad = bad + 1 end end) r = bad"),
            L"0");
}

TEST_F(Callbacks, ProgressIsNotCalledForSkippedFiles) {
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(Script("local seen = {} Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) +
                ", true, function(p) seen[#seen + 1] = p end, function() return 1 end)"
                " r = table.concat(seen, '|')"),
            D(L"a.txt") + L"|" + D(L"c.txt"));
}

TEST_F(Callbacks, FiveArgumentsWithANilFifthTakeNoCallbackAtAll) {
  EXPECT_EQ(Script("local n = 0 local ok = Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) +
                ", true, function() n = n + 1 end, nil) r = tostring(ok) .. ' ' .. n"),
            L"true 0");
  EXPECT_EQ(ReadFileBytes(D(L"c.txt")), "C");
  // With four the progress function counts.
  EXPECT_EQ(Script("local n = 0 Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) +
                ", true, function() n = n + 1 end) r = n"),
            L"3");
}

TEST_F(Callbacks, ReferencesAreReleasedAfterTheCall) {
  // Many calls with callbacks must not grow the registry.
  const std::string call = "Lua_UnCompress7z(" + Lit(archive_) + ", " + Lit(dest_) +
                           ", true, function() end, function() return 2 end)";
  EXPECT_EQ(Script("collectgarbage() " + call + " local before = #debug.getregistry() for i = 1, 50 do " + call +
                " end r = #debug.getregistry() - before"),
            L"0");
}
