// Lua_UnCompress7z from an archive file: what lands on disk, and how broken
// or missing input fails.
#include <windows.h>

#include <gtest/gtest.h>

#include "extracttest.h"
#include "functions/extract/extractarchive.h"
#include "testpaths.h"

using extracttest::ExpectTree;
using extracttest::Fixture;
using extracttest::Listing;
using extracttest::Lit;
using extracttest::Script;
using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

namespace {

class UnCompressFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"unfile");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
  }
  void TearDown() override {
    extracttest::Lock::Release();
    testsupport::RemoveTree(dir_);
  }
  std::wstring Unpack(const std::wstring& archive, const std::string& more = ", true") {
    return Script("r = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) + more + ")");
  }
  // A copy of `bytes` with the byte two past `inside` changed.
  std::wstring Damaged(std::string bytes, const std::string& inside) {
    bytes[bytes.find(inside) + 2] ^= 0x20;
    EXPECT_TRUE(WriteFileBytes(dir_ + L"\\damaged.7z", bytes));
    return dir_ + L"\\damaged.7z";
  }
  std::wstring dir_, dest_;
};

}  // namespace

TEST_F(UnCompressFile, UnpacksEveryItemWithContentTimeAndAttributes) {
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, ManySolidBlocksUnpackLikeOne) {
  EXPECT_EQ(Unpack(Fixture(L"blocks.7z")), L"true");
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, ReplacesReadOnlyFilesAndAppliesTheArchivedAttributesAfterWriting) {
  for (const wchar_t* name : {L"\\readme.txt", L"\\ro.txt"}) {
    ASSERT_TRUE(WriteFileBytes(dest_ + name, "old"));
    SetFileAttributesW((dest_ + name).c_str(), FILE_ATTRIBUTE_READONLY);
  }
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");
  ExpectTree(dest_);
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");  // over its own read-only result
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, ExpandsEnvironmentReferencesInBothPaths) {
  ASSERT_TRUE(CopyFileW(Fixture(L"tree.7z").c_str(), (dir_ + L"\\tree.7z").c_str(), FALSE));
  SetEnvironmentVariableW(L"QT_EXTRACT_DIR", dir_.c_str());
  EXPECT_EQ(Script("r = Lua_UnCompress7z('%QT_EXTRACT_DIR%\\\\tree.7z', '%QT_EXTRACT_DIR%\\\\dest', true)"), L"true");
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, ArchivesWithOnlyFoldersOrNoItemsSucceed) {
  EXPECT_EQ(Unpack(Fixture(L"empty.7z")), L"true");
  EXPECT_EQ(Listing(dest_), L"");
  EXPECT_EQ(Unpack(Fixture(L"folders.7z")), L"true");
  EXPECT_EQ(Listing(dest_), L"x\\|x\\y\\|z\\");
}

TEST_F(UnCompressFile, CrcErrorEndsTheUnpackingWhereItIsWithEverythingBeforeWrittenInOrder) {
  const std::wstring archive = Damaged(ReadFileBytes(Fixture(L"many.7z")), "file 10 line 100");
  EXPECT_EQ(Script("local seen = {} local ok = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) +
                   ", true, function(p) seen[#seen + 1] = p:match('\\\\f(%d+)%.txt$') end)"
                   " r = tostring(ok) .. ' ' .. table.concat(seen, ',')"),
            L"false 00,01,02,03,04,05,06,07,08,09");
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\f09.txt").substr(0, 15), "file 09 line 1\n");
  EXPECT_FALSE(FileExists(dest_ + L"\\f10.txt"));
  EXPECT_FALSE(FileExists(dest_ + L"\\f11.txt"));
}

TEST_F(UnCompressFile, BrokenOrUnsupportedArchivesFail) {
  const std::string tree = ReadFileBytes(Fixture(L"tree.7z"));
  std::string scrambled = tree;
  for (size_t i = 1000; i < 1100; ++i) scrambled[i] ^= 0x5A;
  const std::pair<const wchar_t*, std::string> broken[] = {
      {L"\\junk.7z", "not a 7z archive, only some text"},
      {L"\\nothing.7z", ""},
      {L"\\cut.7z", tree.substr(0, tree.size() / 2)},
  };
  for (const auto& b : broken) {
    ASSERT_TRUE(WriteFileBytes(dir_ + b.first, b.second));
    EXPECT_EQ(Unpack(dir_ + b.first), L"false") << b.first;
  }
  EXPECT_EQ(Unpack(Fixture(L"ppmd.7z")), L"false");  // a method the decoder lacks
  EXPECT_EQ(Listing(dest_), L"");
  // Damaged data: the items before the first file with bytes stay.
  ASSERT_TRUE(WriteFileBytes(dir_ + L"\\scrambled.7z", scrambled));
  EXPECT_EQ(Unpack(dir_ + L"\\scrambled.7z"), L"false");
  EXPECT_EQ(Listing(dest_), L"d1\\|d1\\d2\\|empty.txt|emptydir\\|中文\\");
}

TEST_F(UnCompressFile, MissingOrUnopenableInputFailsWithoutWriting) {
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", " + Lit(dir_ + L"\\none") + ", true)"),
            L"false");
  EXPECT_FALSE(FileExists(dir_ + L"\\none"));
  EXPECT_EQ(Unpack(dir_ + L"\\missing.7z"), L"false");
  const std::wstring locked = dir_ + L"\\locked.7z";
  ASSERT_TRUE(CopyFileW(Fixture(L"tree.7z").c_str(), locked.c_str(), FALSE));
  extracttest::Lock lock(locked);
  EXPECT_EQ(Unpack(locked), L"false");
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, ArgumentsSelectTheModeAndCountsOutsideTwoToFiveDoNothing) {
  // Only the boolean true means a file; otherwise it names a resource.
  for (const char* flag : {", 1", ", 'true'", ", {}"})
    EXPECT_EQ(Unpack(Fixture(L"tree.7z"), flag), L"false") << flag;
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ")"), L"false");
  EXPECT_EQ(Unpack(Fixture(L"tree.7z"), ", true, nil, nil, nil"), L"false");
  EXPECT_EQ(Listing(dest_), L"");
  // One result, whatever the path taken.
  EXPECT_EQ(Script("r = select('#', Lua_UnCompress7z(" + Lit(Fixture(L"empty.7z")) + ", " + Lit(dest_) +
                   ", true, print, print))"),
            L"1");
  EXPECT_EQ(Script("r = select('#', Lua_UnCompress7z('x', " + Lit(dir_ + L"\\none") + "))"), L"1");
}

TEST(ArchivedAttributes, OnlyWhatAFileCanTakeIsApplied) {
  using brix::FileAttributesOf;
  // -rw-r--r-- and -r--r--r-- as a Unix archiver stores them.
  EXPECT_EQ(FileAttributesOf(0x81A48020u), DWORD(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(FileAttributesOf(0x81248021u), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(FileAttributesOf(0x27u),
            DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(FileAttributesOf(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_SPARSE_FILE), DWORD(FILE_ATTRIBUTE_NORMAL));
}
