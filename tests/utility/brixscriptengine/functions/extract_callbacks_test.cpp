// The script callbacks of Lua_UnCompress7z: progress per file, and the
// create-error answers 0 (retry), 1 (skip) and anything else (abort).
#include <windows.h>

#include <gtest/gtest.h>

#include "extracttest.h"
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
  void SetUp() override { dest_ = testsupport::MakeTempDir(L"uncb"); }
  void TearDown() override {
    Lock::Release();
    testsupport::RemoveTree(dest_);
  }
  std::wstring D(const wchar_t* name) const { return dest_ + L"\\" + name; }
  std::string Call(const std::wstring& archive, const std::string& callbacks) const {
    return "Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) + ", true" + callbacks + ")";
  }
  // abc.7z (a.txt, b.txt, c.txt) with a create-error callback running `body`:
  // "<result> <path>#<code>|...".
  std::wstring WithErrorCallback(const std::string& body) {
    return Script("local calls = {} local ok = " +
                  Call(Fixture(L"abc.7z"), ", nil, function(p, e) calls[#calls + 1] = p .. '#' .. e " + body + " end") +
                  " r = tostring(ok) .. ' ' .. table.concat(calls, '|')");
  }
  std::wstring Asked(const wchar_t* name) const { return D(name) + L"#32"; }  // ERROR_SHARING_VIOLATION
  std::wstring dest_;
};

}  // namespace

TEST_F(Callbacks, RetryAfterTheCallbackFreedTheFileWritesIt) {
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(WithErrorCallback("Test_Unlock() return 0"), L"true " + Asked(L"b.txt"));
  EXPECT_EQ(ReadFileBytes(D(L"b.txt")), "B");
  EXPECT_EQ(ReadFileBytes(D(L"c.txt")), "C");
}

TEST_F(Callbacks, RetryThatFailsAgainAbortsWithoutAskingTwice) {
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(WithErrorCallback("return 0"), L"false " + Asked(L"b.txt"));
  EXPECT_EQ(ReadFileBytes(D(L"a.txt")), "A");
  EXPECT_FALSE(FileExists(D(L"c.txt")));
}

TEST_F(Callbacks, SkippingAFileBeforeTheLastSucceedsAndTheLastFails) {
  {
    Lock lock(D(L"b.txt"));
    EXPECT_EQ(WithErrorCallback("return 1"), L"true " + Asked(L"b.txt"));
  }
  EXPECT_EQ(ReadFileBytes(D(L"b.txt")), "");  // left as it was
  EXPECT_EQ(ReadFileBytes(D(L"c.txt")), "C");
  Lock lock(D(L"c.txt"));
  EXPECT_EQ(WithErrorCallback("return 1"), L"false " + Asked(L"c.txt"));
}

TEST_F(Callbacks, AnyOtherAnswerOrNoCallbackAborts) {
  for (const char* answer : {"return 2", "return -1", "return 7"}) {
    Lock lock(D(L"b.txt"));
    DeleteFileW(D(L"c.txt").c_str());
    EXPECT_EQ(WithErrorCallback(answer), L"false " + Asked(L"b.txt")) << answer;
    EXPECT_FALSE(FileExists(D(L"c.txt"))) << answer;
  }
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(Script("r = " + Call(Fixture(L"abc.7z"), "")), L"false");
  EXPECT_EQ(Script("r = " + Call(Fixture(L"abc.7z"), ", nil, 'not a function'")), L"false");
  EXPECT_FALSE(FileExists(D(L"c.txt")));
}

TEST_F(Callbacks, ProgressHearsEachWrittenFileOnceWithItsFullPath) {
  EXPECT_EQ(Script("local seen = {} local ok = " + Call(Fixture(L"tree.7z"), ", function(p) seen[#seen + 1] = p end") +
                   " table.sort(seen) r = tostring(ok) .. ' ' .. table.concat(seen, '|')"),
            L"true " + D(L"big.txt") + L"|" + D(L"d1\\a.txt") + L"|" + D(L"d1\\d2\\numbers.txt") + L"|" +
                D(L"empty.txt") + L"|" + D(L"readme.txt") + L"|" + D(L"ro.txt") + L"|" + D(L"中文\\名字.txt"));
  EXPECT_EQ(Script("local bad = 0 " +
                   Call(Fixture(L"tree.7z"), ", function(p) if not Lua_PathFileExists(p) then bad = bad + 1 end end") +
                   " r = bad"),
            L"0");
  Lock lock(D(L"b.txt"));
  EXPECT_EQ(Script("local seen = {} " +
                   Call(Fixture(L"abc.7z"), ", function(p) seen[#seen + 1] = p end, function() return 1 end") +
                   " r = table.concat(seen, '|')"),
            D(L"a.txt") + L"|" + D(L"c.txt"));
}

// Folders are made once per unpacking; a callback that removes one must not
// make the files after it fail.
TEST_F(Callbacks, AFolderRemovedByTheProgressCallbackIsMadeAgain) {
  EXPECT_EQ(Script("local gone, last = false, nil local ok = " +
                   Call(Fixture(L"tree.7z"), ", function(p) if p:find('\\\\d1\\\\', 1, true) then last = p "
                                             "if not gone then gone = true Lua_DelFileRecursive(" +
                                                 Lit(D(L"d1")) + ") end end end") +
                   " r = tostring(ok) .. ' ' .. tostring(gone) .. ' ' .. tostring(Lua_PathFileExists(last))"),
            L"true true true");
}

TEST_F(Callbacks, FiveArgumentsWithANilFifthTakeNoCallbackAtAll) {
  EXPECT_EQ(Script("local n = 0 local ok = " + Call(Fixture(L"abc.7z"), ", function() n = n + 1 end, nil") +
                   " r = tostring(ok) .. ' ' .. n"),
            L"true 0");
  EXPECT_EQ(Script("local n = 0 " + Call(Fixture(L"abc.7z"), ", function() n = n + 1 end") + " r = n"), L"3");
}

TEST_F(Callbacks, ReferencesAreReleasedWhenTheCallEnds) {
  const std::string call = Call(Fixture(L"abc.7z"), ", function() end, function() return 2 end");
  EXPECT_EQ(Script("collectgarbage() " + call + " local before = #debug.getregistry() for i = 1, 50 do " + call +
                   " end r = #debug.getregistry() - before"),
            L"0");
}
