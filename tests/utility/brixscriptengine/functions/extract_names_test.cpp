// Item names that would lead out of the destination are refused, and the
// byte source never reads outside its data.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extracttest.h"
#include "functions/extract/archivesource.h"
#include "functions/extract/itemname.h"
#include "sevenzwriter.h"
#include "testpaths.h"

using extracttest::Listing;
using extracttest::Lit;
using extracttest::Script;
using testsupport::FileExists;

TEST(ItemName, PlainRelativeNamesAreAccepted) {
  for (const wchar_t* name : {L"a.txt", L"dir/sub/file.bin", L"dir\\file", L"中文/名字.txt", L"a..b", L"..a",
                              L"a/..b/c", L"...x", L"x.", L"console.txt", L"com10", L"nul_x", L"lpt", L".hidden"})
    EXPECT_TRUE(brix::IsContainedItemName(name)) << name;
}

TEST(ItemName, NamesLeadingOutOrToDevicesAreRefused) {
  for (const wchar_t* name :
       {L"", L"..", L"../a", L"..\\a", L"a/../../b", L"a\\..\\b", L"a/..", L"/a", L"\\a", L"\\\\server\\share\\a",
        L"//server/share/a", L"\\\\?\\C:\\a", L"C:\\a", L"C:a", L"c:/a", L"a:stream", L"a/b:c", L".", L"a/./b",
        L"... /a", L".. /a", L"a/ /b", L"a//b", L"a/", L"con", L"CON.txt", L"dir/nul", L"Com1.log", L"lpt9",
        L"conin$", L"aux .x", L"NUL  "})
    EXPECT_FALSE(brix::IsContainedItemName(name)) << name;
}

TEST(MemorySource, ReadsStopAtTheEndWhereverASeekLeftThePosition) {
  const Byte data[4] = {1, 2, 3, 4};
  brix::MemorySource source(data, sizeof data);
  const ISeekInStream* s = source.Stream();
  Int64 pos = 10;
  ASSERT_EQ(s->Seek(s, &pos, SZ_SEEK_SET), SZ_OK);
  EXPECT_EQ(pos, 10);
  Byte buf[8] = {};
  size_t size = sizeof buf;
  EXPECT_EQ(s->Read(s, buf, &size), SZ_OK);
  EXPECT_EQ(size, 0u);
  pos = -2;
  ASSERT_EQ(s->Seek(s, &pos, SZ_SEEK_END), SZ_OK);
  size = sizeof buf;
  EXPECT_EQ(s->Read(s, buf, &size), SZ_OK);
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(buf[0], 3);
  pos = -5;
  EXPECT_NE(s->Seek(s, &pos, SZ_SEEK_CUR), SZ_OK);
}

namespace {

class HostileNames : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = testsupport::MakeTempDir(L"unnames_arc");
    dir_ = testsupport::MakeTempDir(L"unnames");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
  }
  void TearDown() override {
    testsupport::RemoveTree(dir_);
    testsupport::RemoveTree(store_);
  }
  std::wstring Unpack(const std::vector<sevenz::Item>& items, const std::string& errorFn) {
    const std::wstring archive = store_ + L"\\names.7z";
    EXPECT_TRUE(testsupport::WriteFileBytes(archive, sevenz::StoredArchive(items)));
    return Script("calls = {} local ok = Lua_UnCompress7z(" + Lit(archive) + ", " + Lit(dest_) + ", true, nil, " +
               errorFn + ") r = tostring(ok) .. ' ' .. #calls");
  }
  std::wstring store_, dir_, dest_;
};

}  // namespace

TEST_F(HostileNames, AreReportedAsInvalidNamesAndNothingLandsOutside) {
  const std::wstring root = dir_.substr(0, 3);  // "C:\"
  const std::vector<std::wstring> hostile = {
      L"../out1.txt",
      L"..\\out2.txt",
      L"sub/../../out3.txt",
      dir_ + L"\\out4.txt",
      dir_.substr(0, 2) + L"out5.txt",
      L"\\\\?\\" + dir_ + L"\\out6.txt",
      L"/qt_root_out7.txt",
      L"sub\\..\\..\\out8",
      L".. /out9.txt",
      L"nul",
      L"ok.txt:stream",
  };
  std::vector<sevenz::Item> items = {{L"../outdir", "", true}};
  for (const auto& name : hostile) items.push_back({name, "evil"});
  items.push_back({L"inside/ok.txt", "fine"});

  // Skipping every refused item: the last file is written, so true.
  EXPECT_EQ(Unpack(items, "function(p, e) calls[#calls + 1] = e return 1 end"),
            L"true " + std::to_wstring(hostile.size() + 1));
  std::wstring codes = L"123";  // the folder item first
  for (size_t i = 0; i < hostile.size(); ++i) codes += L",123";
  EXPECT_EQ(Script("r = table.concat(calls, ',')"), codes);
  EXPECT_EQ(Listing(dir_), L"dest\\|dest\\inside\\|dest\\inside\\ok.txt");
  EXPECT_FALSE(FileExists(root + L"qt_root_out7.txt"));
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  EXPECT_FALSE(FileExists(std::wstring(cwd) + L"\\out5.txt"));
  EXPECT_EQ(testsupport::ReadFileBytes(dest_ + L"\\inside\\ok.txt"), "fine");
}

TEST_F(HostileNames, CallbackHearsTheJoinedPath) {
  EXPECT_EQ(Unpack({{L"a/../../x.txt", "evil"}}, "function(p, e) calls[#calls + 1] = p return 1 end"), L"false 1");
  EXPECT_EQ(Script("r = calls[1]"), dest_ + L"\\a\\..\\..\\x.txt");
  EXPECT_EQ(Listing(dir_), L"dest\\");
}

TEST_F(HostileNames, WithoutACallbackTheUnpackingStopsThere) {
  EXPECT_EQ(Unpack({{L"first.txt", "1"}, {L"../evil.txt", "evil"}, {L"last.txt", "2"}}, "nil"), L"false 0");
  EXPECT_EQ(Listing(dir_), L"dest\\|dest\\first.txt");
}

TEST_F(HostileNames, ARetryAnswerCannotChangeTheNameAndAborts) {
  EXPECT_EQ(Unpack({{L"../evil.txt", "evil"}, {L"later.txt", "2"}},
                   "function(p, e) calls[#calls + 1] = e return 0 end"),
            L"false 1");
  EXPECT_EQ(Listing(dir_), L"dest\\");
}

TEST_F(HostileNames, BackslashesInNamesMakeFoldersBelowTheDestination) {
  EXPECT_EQ(Unpack({{L"win\\style\\name.txt", "w"}}, "nil"), L"true 0");
  EXPECT_EQ(testsupport::ReadFileBytes(dest_ + L"\\win\\style\\name.txt"), "w");
}
