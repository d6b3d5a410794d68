// Item names that would lead out of the destination are refused, and the
// memory source never reads outside its data.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "extracttest.h"
#include "functions/extract/archivesource.h"
#include "functions/extract/itemname.h"
#include "testpaths.h"

using extracttest::Fixture;
using extracttest::Listing;
using extracttest::Lit;
using extracttest::Script;

TEST(ItemName, PlainRelativeNamesAreAccepted) {
  for (const wchar_t* name : {L"a.txt", L"dir/sub/file.bin", L"dir\\file", L"中文/名字.txt", L"a..b", L"..a",
                              L"a/..b/c", L"...x", L"x.", L"console.txt", L"com10", L"nul_x", L".hidden"})
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
  Byte buf[8] = {};
  Int64 pos = 10;
  size_t size = sizeof buf;
  ASSERT_EQ(s->Seek(s, &pos, SZ_SEEK_SET), SZ_OK);
  EXPECT_EQ(s->Read(s, buf, &size), SZ_OK);
  EXPECT_EQ(size, 0u);
  pos = -2;
  size = sizeof buf;
  ASSERT_EQ(s->Seek(s, &pos, SZ_SEEK_END), SZ_OK);
  EXPECT_EQ(s->Read(s, buf, &size), SZ_OK);
  ASSERT_EQ(size, 2u);
  EXPECT_EQ(buf[0], 3);
  pos = -5;
  EXPECT_NE(s->Seek(s, &pos, SZ_SEEK_CUR), SZ_OK);
}

TEST(MemorySource, ExchangesTheFirstTwoBytesAsItReadsThemAndNeverWritesThem) {
  const Byte data[5] = {'z', '7', 1, 2, 3};
  brix::MemorySource source(data, sizeof data, true);
  std::unique_ptr<brix::ByteSource> other = source.Another();
  const brix::ByteSource* both[] = {&source, other.get()};
  for (const brix::ByteSource* s : both) {
    const ISeekInStream* in = s->Stream();
    Byte buf[8] = {};
    size_t size = sizeof buf;
    ASSERT_EQ(in->Read(in, buf, &size), SZ_OK);
    ASSERT_EQ(size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 5), std::string("7z\1\2\3", 5));
    // Reads that start at byte 1, or stop after byte 0.
    Int64 pos = 1;
    ASSERT_EQ(in->Seek(in, &pos, SZ_SEEK_SET), SZ_OK);
    size = 2;
    ASSERT_EQ(in->Read(in, buf, &size), SZ_OK);
    EXPECT_EQ(buf[0], 'z');
    EXPECT_EQ(buf[1], 1);
    pos = 0;
    ASSERT_EQ(in->Seek(in, &pos, SZ_SEEK_SET), SZ_OK);
    size = 1;
    ASSERT_EQ(in->Read(in, buf, &size), SZ_OK);
    EXPECT_EQ(buf[0], '7');
  }
  EXPECT_EQ(data[0], 'z');
  EXPECT_EQ(data[1], '7');
  // Less than two bytes: nothing to exchange.
  brix::MemorySource one(data, 1, true);
  Byte b = 0;
  size_t size = 1;
  ASSERT_EQ(one.Stream()->Read(one.Stream(), &b, &size), SZ_OK);
  EXPECT_EQ(b, 'z');
}

namespace {

// hostile.7z: an absolute name, "../../qt_escape.txt", then "ok.txt".
class HostileNames : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"unnames");
    dest_ = dir_ + L"\\dest";
    CreateDirectoryW(dest_.c_str(), nullptr);
    // Where "..\..\" from the destination leads.
    escape_ = dir_.substr(0, dir_.find_last_of(L'\\')) + L"\\qt_escape.txt";
    DeleteFileW(escape_.c_str());
  }
  void TearDown() override { testsupport::RemoveTree(dir_); }
  std::wstring Unpack(const std::string& errorFn) {
    return Script("calls = {} local ok = Lua_UnCompress7z(" + Lit(Fixture(L"hostile.7z")) + ", " + Lit(dest_) +
                  ", true, nil, " + errorFn + ") r = tostring(ok) .. ' ' .. table.concat(calls, '|')");
  }
  // Nothing beside the destination, nothing where ".." leads.
  void ExpectOnlyInside(const std::wstring& inside) {
    EXPECT_FALSE(testsupport::FileExists(escape_));
    EXPECT_EQ(Listing(dir_), L"dest\\" + inside);
  }
  std::wstring dir_, dest_, escape_;
};

}  // namespace

TEST_F(HostileNames, AreReportedAsInvalidNamesAndSkippingThemWritesTheRest) {
  EXPECT_EQ(Unpack("function(p, e) calls[#calls + 1] = e return 1 end"), L"true 123|123");
  EXPECT_EQ(Script("r = nil Lua_UnCompress7z(" + Lit(Fixture(L"hostile.7z")) + ", " + Lit(dest_) +
                   ", true, nil, function(p) if p:find('escape') then r = p end return 1 end)"),
            dest_ + L"\\..\\..\\qt_escape.txt");
  ExpectOnlyInside(L"|dest\\ok.txt");
  EXPECT_EQ(testsupport::ReadFileBytes(dest_ + L"\\ok.txt"), "fine\n");
}

TEST_F(HostileNames, WithoutACallbackOrWithARetryTheUnpackingStops) {
  EXPECT_EQ(Unpack("nil"), L"false ");
  EXPECT_EQ(Unpack("function(p, e) calls[#calls + 1] = e return 0 end"), L"false 123");
  ExpectOnlyInside(L"");
}
