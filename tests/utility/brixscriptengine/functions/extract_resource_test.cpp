// The payload resource: unpacking it (by name or number, more than once in a
// process) and writing resources into files with Lua_ExtractResource.
#include <windows.h>

#include <gtest/gtest.h>

#include "extracttest.h"
#include "testpaths.h"

using extracttest::ExpectTree;
using extracttest::Fixture;
using extracttest::Listing;
using extracttest::Lit;
using extracttest::Script;
using testsupport::FileExists;
using testsupport::ReadFileBytes;

namespace {

class PayloadResource : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testsupport::MakeTempDir(L"unres"); }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  std::wstring Folder(const wchar_t* name) {
    const std::wstring f = dir_ + L"\\" + name;
    CreateDirectoryW(f.c_str(), nullptr);
    return f;
  }
  std::wstring Unpack(const std::string& source, const std::wstring& dest) {
    return Script("r = Lua_UnCompress7z(" + source + ", " + Lit(dest) + ")");
  }
  std::wstring Extract(const std::string& type, const std::string& name, const std::wstring& path) {
    return Script("r = Lua_ExtractResource('" + type + "', " + name + ", " + Lit(path) + ")");
  }
  std::wstring dir_;
};

const std::string kTree = ReadFileBytes(Fixture(L"tree.7z"));

}  // namespace

TEST_F(PayloadResource, UnpacksByNameWithoutRegardToCase) {
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"a")), L"true");
  ExpectTree(dir_ + L"\\a");
}

TEST_F(PayloadResource, UnpacksByNumberOrNumericText) {
  EXPECT_EQ(Unpack("101", Folder(L"n")), L"true");
  ExpectTree(dir_ + L"\\n");
  EXPECT_EQ(Unpack("'101'", Folder(L"t")), L"true");
  ExpectTree(dir_ + L"\\t");
  // Only the low 16 bits name the resource.
  EXPECT_EQ(Unpack("65536 + 101", Folder(L"w")), L"true");
}

TEST_F(PayloadResource, SecondUnpackInOneProcessUnpacksAgain) {
  EXPECT_EQ(Unpack("'APP.7Z'", Folder(L"first")), L"true");
  EXPECT_EQ(Unpack("'app.7z'", Folder(L"second")), L"true");
  ExpectTree(dir_ + L"\\first");
  ExpectTree(dir_ + L"\\second");
}

TEST_F(PayloadResource, ExtractedPayloadIsAValid7zBeforeAndAfterUnpacking) {
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", dir_ + L"\\before.7z"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\before.7z") == kTree);
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"u")), L"true");
  EXPECT_EQ(Extract("_7Z", "'App.7z'", dir_ + L"\\after.7z"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\after.7z") == kTree);
  EXPECT_EQ(Extract("_7Z", "'App.7z'", dir_ + L"\\again.7z"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\again.7z") == kTree);
  // The written copy is an archive of its own.
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(dir_ + L"\\again.7z") + ", " + Lit(Folder(L"f")) + ", true)"),
            L"true");
  ExpectTree(dir_ + L"\\f");
}

TEST_F(PayloadResource, TypeTextInOtherCaseStillRestoresThePayload) {
  // Meaningful in a process that has not used the payload yet, as when
  // ctest runs each test on its own.
  EXPECT_EQ(Extract("_7z", "'app.7z'", dir_ + L"\\lower.7z"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\lower.7z") == kTree);
  EXPECT_EQ(Unpack("101", Folder(L"n")), L"true");
}

TEST_F(PayloadResource, OtherResourcesAreWrittenByteForByte) {
  EXPECT_EQ(Extract("BIN", "'plain.bin'", dir_ + L"\\plain.bin"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\plain.bin") == ReadFileBytes(Fixture(L"stored.7z")));
  // The destination is expanded and an existing file replaced.
  SetEnvironmentVariableW(L"QT_RES_DIR", dir_.c_str());
  ASSERT_TRUE(testsupport::WriteFileBytes(dir_ + L"\\plain.bin", "old content that is longer than the resource......"
                                                                 "................................................"
                                                                 "................................................"
                                                                 "................................................"));
  EXPECT_EQ(Script("r = Lua_ExtractResource('BIN', 'PLAIN.BIN', '%QT_RES_DIR%\\\\plain.bin')"), L"true");
  EXPECT_TRUE(ReadFileBytes(dir_ + L"\\plain.bin") == ReadFileBytes(Fixture(L"stored.7z")));
}

TEST_F(PayloadResource, MissingResourceFailsWithoutCreatingAnything) {
  EXPECT_EQ(Unpack("'NOPE.7Z'", Folder(L"d")), L"false");
  EXPECT_EQ(Unpack("4242", dir_ + L"\\d"), L"false");
  EXPECT_EQ(Extract("_7Z", "'NOPE.7Z'", dir_ + L"\\nope.7z"), L"false");
  EXPECT_EQ(Extract("LUA", "'APP.7Z'", dir_ + L"\\wrongtype"), L"false");
  EXPECT_EQ(Extract("BIN", "999", dir_ + L"\\num"), L"false");
  EXPECT_EQ(Unpack("0", dir_ + L"\\d"), L"false");
  EXPECT_EQ(Extract("_7Z", "0", dir_ + L"\\zero"), L"false");
  EXPECT_EQ(Listing(dir_), L"d\\");
}

TEST_F(PayloadResource, MissingDestinationFolderFails) {
  EXPECT_EQ(Unpack("'App.7z'", dir_ + L"\\none"), L"false");
  EXPECT_FALSE(FileExists(dir_ + L"\\none"));
}

TEST_F(PayloadResource, FileThatCannotBeCreatedFails) {
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", dir_ + L"\\no\\such\\folder\\x.7z"), L"false");
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", Folder(L"isafolder")), L"false");
  extracttest::Lock lock(dir_ + L"\\locked.7z");
  EXPECT_EQ(Extract("_7Z", "'APP.7Z'", dir_ + L"\\locked.7z"), L"false");
  extracttest::Lock::Release();
  // A failed write did not leave the image changed: the payload still unpacks.
  EXPECT_EQ(Unpack("'App.7z'", Folder(L"u")), L"true");
}

TEST_F(PayloadResource, TooShortPayloadFailsCleanly) {
  EXPECT_EQ(Unpack("'ONEBYTE.7Z'", Folder(L"d")), L"false");
  EXPECT_EQ(Extract("_7Z", "'ONEBYTE.7Z'", dir_ + L"\\one.bin"), L"true");
  EXPECT_EQ(ReadFileBytes(dir_ + L"\\one.bin"), "z");
}
