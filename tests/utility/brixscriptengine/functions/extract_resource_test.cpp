// The payload resource ("_7Z", stored with its first two bytes exchanged):
// unpacking it by name or number, more than once in a process, and writing
// resources into files with Lua_ExtractResource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "extracttest.h"
#include "testpaths.h"

using extracttest::ExpectTree;
using extracttest::Fixture;
using extracttest::Listing;
using extracttest::Lit;
using extracttest::Script;
using testsupport::ReadFileBytes;

namespace {

class PayloadResource : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir(L"unres"); }
  void TearDown() override {
    extracttest::Lock::Release();
    testsupport::RemoveTree(dir_);
  }
  std::wstring Folder(const wchar_t* name) {
    CreateDirectoryW((dir_ + L"\\" + name).c_str(), nullptr);
    return dir_ + L"\\" + name;
  }
  std::wstring Unpack(const std::string& source, const std::wstring& dest) {
    return Script("r = Lua_UnCompress7z(" + source + ", " + Lit(dest) + ")");
  }
  std::wstring Extract(const std::string& type, const std::string& name, const wchar_t* file) {
    return Script("r = Lua_ExtractResource('" + type + "', " + name + ", " + Lit(dir_ + L"\\" + file) + ")");
  }
  bool Written(const wchar_t* file, const wchar_t* fixture) {
    return ReadFileBytes(dir_ + L"\\" + file) == ReadFileBytes(Fixture(fixture));
  }
  std::wstring dir_;
};

}  // namespace

TEST_F(PayloadResource, UnpacksByNameWithoutRegardToCaseByNumberAndByNumericText) {
  const std::pair<const char*, const wchar_t*> sources[] = {
      {"'App.7z'", L"name"}, {"101", L"number"}, {"'101'", L"text"}, {"65536 + 101", L"low16"}};
  for (const auto& s : sources) {
    EXPECT_EQ(Unpack(s.first, Folder(s.second)), L"true") << s.first;
    ExpectTree(dir_ + L"\\" + s.second);
  }
}

TEST_F(PayloadResource, ExtractedPayloadIsAValid7zBeforeAndAfterUnpacking) {
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", L"before.7z"), L"true");
  EXPECT_TRUE(Written(L"before.7z", L"tree.7z"));
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"first")), L"true");
  EXPECT_EQ(Unpack("'app.7z'", Folder(L"second")), L"true");  // again in the same process
  ExpectTree(dir_ + L"\\second");
  EXPECT_EQ(Extract("_7Z", "'App.7z'", L"after.7z"), L"true");
  EXPECT_TRUE(Written(L"after.7z", L"tree.7z"));
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(dir_ + L"\\after.7z") + ", " + Lit(Folder(L"f")) + ", true)"),
            L"true");
  ExpectTree(dir_ + L"\\f");
}

TEST_F(PayloadResource, IsReadWhereItIsMappedAndNeverWritten) {
  HRSRC info = FindResourceW(nullptr, L"APP.7Z", L"_7Z");
  ASSERT_NE(info, nullptr);
  const auto* mapped = static_cast<const char*>(LockResource(LoadResource(nullptr, info)));
  ASSERT_EQ(std::string(mapped, 2), "z7");
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"u")), L"true");
  ExpectTree(dir_ + L"\\u");
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", L"copy.7z"), L"true");
  EXPECT_TRUE(Written(L"copy.7z", L"tree.7z"));
  EXPECT_EQ(std::string(mapped, 2), "z7");
}

TEST_F(PayloadResource, TypeTextInOtherCaseStillRestoresThePayload) {
  // Meaningful in a process that has not used the payload yet, as when
  // ctest runs each test on its own.
  EXPECT_EQ(Extract("_7z", "'app.7z'", L"lower.7z"), L"true");
  EXPECT_TRUE(Written(L"lower.7z", L"tree.7z"));
}

TEST_F(PayloadResource, OtherResourcesAreWrittenByteForByteOverAnExpandedPath) {
  ASSERT_TRUE(testsupport::WriteFileBytes(dir_ + L"\\plain.bin", std::string(5000, 'x')));
  SetEnvironmentVariableW(L"QT_RES_DIR", dir_.c_str());
  EXPECT_EQ(Script("r = Lua_ExtractResource('BIN', 'plain.bin', '%QT_RES_DIR%\\\\plain.bin')"), L"true");
  EXPECT_TRUE(Written(L"plain.bin", L"stored.7z"));
}

TEST_F(PayloadResource, MissingResourceOrDestinationFailsWithoutCreatingAnything) {
  EXPECT_EQ(Unpack("'NOPE.7Z'", Folder(L"d")), L"false");
  EXPECT_EQ(Unpack("4242", dir_ + L"\\d"), L"false");
  EXPECT_EQ(Unpack("0", dir_ + L"\\d"), L"false");
  EXPECT_EQ(Unpack("'App.7z'", dir_ + L"\\none"), L"false");
  EXPECT_EQ(Extract("_7Z", "'NOPE.7Z'", L"nope.7z"), L"false");
  EXPECT_EQ(Extract("LUA", "'APP.7Z'", L"wrongtype"), L"false");
  EXPECT_EQ(Extract("BIN", "999", L"num"), L"false");
  EXPECT_EQ(Listing(dir_), L"d\\");
}

TEST_F(PayloadResource, FileThatCannotBeCreatedFailsAndLeavesThePayloadUsable) {
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", L"no\\such\\folder\\x.7z"), L"false");
  Folder(L"isafolder");
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", L"isafolder"), L"false");
  extracttest::Lock lock(dir_ + L"\\locked.7z");
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", L"locked.7z"), L"false");
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"u")), L"true");
}

TEST_F(PayloadResource, TooShortPayloadFailsCleanly) {
  EXPECT_EQ(Unpack("'ONEBYTE.7Z'", Folder(L"d")), L"false");
  EXPECT_EQ(Extract("_7Z", "'ONEBYTE.7Z'", L"one.bin"), L"true");
  EXPECT_EQ(ReadFileBytes(dir_ + L"\\one.bin"), "z");
}
