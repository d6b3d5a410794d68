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
  std::wstring Unpack(const std::wstring& archive) {
    return Script("r = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) + ", true)");
  }
  // A copy of a fixture archive with one byte changed.
  std::wstring Damaged(const wchar_t* fixture, const std::string& inside) {
    std::string bytes = ReadFileBytes(Fixture(fixture));
    const size_t at = bytes.find(inside);
    EXPECT_NE(at, std::string::npos);
    bytes[at + 2] ^= 0x20;
    const std::wstring path = dir_ + L"\\damaged.7z";
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }
  std::wstring dir_, dest_;
};

}  // namespace

TEST_F(UnCompressFile, UnpacksEveryItemWithContentTimeAndAttributes) {
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, ReplacesReadOnlyFilesAndAppliesTheArchivedAttributesAfterWriting) {
  ASSERT_TRUE(WriteFileBytes(dest_ + L"\\readme.txt", "old"));
  ASSERT_TRUE(WriteFileBytes(dest_ + L"\\ro.txt", "old"));
  SetFileAttributesW((dest_ + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((dest_ + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");
  ExpectTree(dest_);
  // Once more over the read-only result of the first run.
  EXPECT_EQ(Unpack(Fixture(L"tree.7z")), L"true");
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

TEST_F(UnCompressFile, CrcErrorFailsAndKeepsTheFilesWrittenBefore) {
  EXPECT_EQ(Unpack(Damaged(L"stored.7z", "second file")), L"false");
  EXPECT_EQ(ReadFileBytes(dest_ + L"\\first.txt"), "first file\n");
  EXPECT_FALSE(FileExists(dest_ + L"\\second.txt"));
}

TEST_F(UnCompressFile, ManySolidBlocksUnpackLikeOne) {
  EXPECT_EQ(Unpack(Fixture(L"blocks.7z")), L"true");
  ExpectTree(dest_);
}

TEST_F(UnCompressFile, DamageInALaterBlockEndsThereWithEverythingBeforeWrittenInOrder) {
  const std::wstring archive = Damaged(L"many.7z", "file 10 line 100");
  EXPECT_EQ(Script("local seen = {} local ok = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) +
                   ", true, function(p) seen[#seen + 1] = p:match('\\\\f(%d+)%.txt$') end)"
                   " r = tostring(ok) .. ' ' .. table.concat(seen, ',')"),
            L"false 00,01,02,03,04,05,06,07,08,09");
  for (int i = 0; i < 12; ++i) {
    const std::string n = (i < 10 ? "0" : "") + std::to_string(i);
    const std::wstring path = dest_ + L"\\f" + std::wstring(n.begin(), n.end()) + L".txt";
    if (i >= 10) {
      EXPECT_FALSE(FileExists(path)) << i;
      continue;
    }
    std::string expected;
    for (int line = 1; line <= 200; ++line) expected += "file " + n + " line " + std::to_string(line) + "\n";
    EXPECT_EQ(ReadFileBytes(path), expected) << i;
  }
}

TEST_F(UnCompressFile, DamagedCompressedDataFails) {
  std::string bytes = ReadFileBytes(Fixture(L"tree.7z"));
  for (size_t i = 1000; i < 1100; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
  ASSERT_TRUE(WriteFileBytes(dir_ + L"\\bad.7z", bytes));
  EXPECT_EQ(Unpack(dir_ + L"\\bad.7z"), L"false");
}

TEST_F(UnCompressFile, NotAnArchiveTruncatedOrUnsupportedFails) {
  ASSERT_TRUE(WriteFileBytes(dir_ + L"\\junk.7z", "this is not a 7z archive, only some text"));
  EXPECT_EQ(Unpack(dir_ + L"\\junk.7z"), L"false");
  ASSERT_TRUE(WriteFileBytes(dir_ + L"\\nothing.7z", ""));
  EXPECT_EQ(Unpack(dir_ + L"\\nothing.7z"), L"false");
  const std::string tree = ReadFileBytes(Fixture(L"tree.7z"));
  ASSERT_TRUE(WriteFileBytes(dir_ + L"\\cut.7z", tree.substr(0, tree.size() / 2)));
  EXPECT_EQ(Unpack(dir_ + L"\\cut.7z"), L"false");
  EXPECT_EQ(Unpack(Fixture(L"ppmd.7z")), L"false");  // a method the decoder lacks
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, MissingDestinationOrArchiveFailsWithoutWriting) {
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", " + Lit(dir_ + L"\\none") + ", true)"),
            L"false");
  EXPECT_FALSE(FileExists(dir_ + L"\\none"));
  EXPECT_EQ(Unpack(dir_ + L"\\missing.7z"), L"false");
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", '', true)"), L"false");
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, ArchiveThatCannotBeOpenedFails) {
  const std::wstring locked = dir_ + L"\\locked.7z";
  ASSERT_TRUE(CopyFileW(Fixture(L"tree.7z").c_str(), locked.c_str(), FALSE));
  extracttest::Lock lock(locked);
  ASSERT_TRUE(lock.Held());
  EXPECT_EQ(Unpack(locked), L"false");
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, OnlyTheBooleanTrueSelectsAFile) {
  // Anything else names a resource, and there is none by that name.
  for (const char* flag : {"1", "'true'", "{}"})
    EXPECT_EQ(Script("r = Lua_UnCompress7z(" + Lit(Fixture(L"tree.7z")) + ", " + Lit(dest_) + ", " + flag + ")"),
              L"false")
        << flag;
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, OtherArgumentCountsUnpackNothing) {
  const std::string a = Lit(Fixture(L"tree.7z"));
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + a + ")"), L"false");
  EXPECT_EQ(Script("r = Lua_UnCompress7z()"), L"false");
  EXPECT_EQ(Script("r = Lua_UnCompress7z(" + a + ", " + Lit(dest_) + ", true, nil, nil, nil)"), L"false");
  EXPECT_EQ(Listing(dest_), L"");
}

TEST_F(UnCompressFile, ReturnsExactlyOneResult) {
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
  EXPECT_EQ(FileAttributesOf(0), DWORD(FILE_ATTRIBUTE_NORMAL));
}
