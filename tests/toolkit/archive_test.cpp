// The skin archive reader: real zips from the build, and hand-made ones
// damaged on purpose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skinarchive.h"
#include "testpaths.h"
#include "uidiag.h"
#include "zipwriter.h"

using brixui::DiagCollector;
using brixui::SkinArchive;

namespace {

std::string ReadSkin(const wchar_t* name) {
  const std::string bytes = testsupport::ReadFileBytes(testsupport::BinPath(name));
  EXPECT_FALSE(bytes.empty()) << "missing build output";
  return bytes;
}

std::string AsText(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(SkinArchive, ReadsDeflatedAndStoredEntriesOfTheBuiltSkin) {
  const std::string zip = ReadSkin(L"uitest.zip");
  SkinArchive a;
  ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
  EXPECT_TRUE(a.Contains("Layout/Layout.xml"));
  EXPECT_TRUE(a.Contains("layout\\LAYOUT.xml"));  // case and slashes do not matter
  EXPECT_FALSE(a.Contains("images.txt"));
  std::vector<uint8_t> xml, png;
  ASSERT_TRUE(a.Read("Layout/Layout.xml", xml));
  EXPECT_NE(AsText(xml).find("<Window"), std::string::npos);
  ASSERT_TRUE(a.Read("Image/logo@200.png", png));  // tiny PNGs come out stored
  EXPECT_EQ(0, AsText(png).compare(0, 4, "\x89PNG"));
}

TEST(SkinArchive, PasswordIsHonoured) {
  const std::string zip = ReadSkin(L"uitest_locked.zip");
  {
    DiagCollector diag;
    SkinArchive a;
    ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
    std::vector<uint8_t> out;
    EXPECT_FALSE(a.Read("Layout/Layout.xml", out));
    EXPECT_TRUE(diag.Saw("Layout/Layout.xml: entry is encrypted and no password was given")) << diag.All();
  }
  {
    DiagCollector diag;
    SkinArchive a;
    ASSERT_TRUE(a.Open(zip.data(), zip.size(), "wrong"));
    std::vector<uint8_t> out;
    EXPECT_FALSE(a.Read("font.xml", out));
    // The format checks a password with one byte only: one wrong password in
    // 256 passes it and is caught by the data's own checks instead.
    EXPECT_TRUE(diag.Saw("wrong password") || diag.Saw("corrupt") || diag.Saw("CRC")) << diag.All();
  }
  SkinArchive a;
  ASSERT_TRUE(a.Open(zip.data(), zip.size(), "secret"));
  std::vector<uint8_t> out;
  ASSERT_TRUE(a.Read("font.xml", out));
  EXPECT_NE(AsText(out).find("<Fonts>"), std::string::npos);
}

TEST(SkinArchive, TruncatedArchivesAreRefusedWithoutReadingPastTheEnd) {
  const std::string zip = ReadSkin(L"uitest.zip");
  // Every prefix: either no end record, or entries whose data is gone.
  for (size_t cut : {size_t(0), size_t(10), zip.size() / 3, zip.size() / 2, zip.size() - 30, zip.size() - 1}) {
    DiagCollector diag;
    SkinArchive a;
    const std::string part = zip.substr(0, cut);
    if (a.Open(part.data(), part.size(), "")) {
      std::vector<uint8_t> out;
      EXPECT_FALSE(a.Read("Layout/Layout.xml", out) && a.Read("font.xml", out) && a.Read("Image/page.png", out));
    }
    EXPECT_FALSE(diag.Reports().empty()) << "cut at " << cut;
  }
}

TEST(SkinArchive, DamagedDeflateDataAndBadCrcAreReported) {
  std::string zip = ReadSkin(L"uitest.zip");
  SkinArchive probe;
  ASSERT_TRUE(probe.Open(zip.data(), zip.size(), ""));
  // Flip bytes in the middle of the layout's compressed data.
  const size_t at = zip.find("Layout/Layout.xml") + 17 + 40;
  for (size_t i = 0; i < 8; ++i) zip[at + i] = static_cast<char>(zip[at + i] ^ 0x5A);
  DiagCollector diag;
  SkinArchive a;
  ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
  std::vector<uint8_t> out;
  EXPECT_FALSE(a.Read("Layout/Layout.xml", out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(diag.Saw("Layout/Layout.xml: ")) << diag.All();

  DiagCollector diag2;
  const std::string crcBad = ziptest::Write({{"a.txt", "hello", 0, 0, true}});
  SkinArchive b;
  ASSERT_TRUE(b.Open(crcBad.data(), crcBad.size(), ""));
  EXPECT_FALSE(b.Read("a.txt", out));
  EXPECT_TRUE(diag2.Saw("a.txt: CRC mismatch")) << diag2.All();
}

TEST(SkinArchive, ZipBombLimits) {
  std::vector<uint8_t> out;
  {
    // An entry declaring more than 64 MiB.
    DiagCollector diag;
    const std::string zip = ziptest::Write({{"big.png", "x", 65u << 20}});
    SkinArchive a;
    ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
    EXPECT_FALSE(a.Read("big.png", out));
    EXPECT_TRUE(diag.Saw("big.png: declared size 68157440 is over the entry limit")) << diag.All();
  }
  {
    // Five entries of 60 MiB each: over 256 MiB in all, the archive is refused.
    DiagCollector diag;
    std::vector<ziptest::Entry> entries;
    for (int i = 0; i < 5; ++i) entries.push_back({"e" + std::to_string(i), "x", 60u << 20});
    const std::string zip = ziptest::Write(entries);
    SkinArchive a;
    EXPECT_FALSE(a.Open(zip.data(), zip.size(), ""));
    EXPECT_TRUE(diag.Saw("more than the limit of 268435456")) << diag.All();
  }
  {
    // Stored data that does not match its declared size.
    DiagCollector diag;
    const std::string zip = ziptest::Write({{"liar.xml", "0123456789", 4}});
    SkinArchive a;
    ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
    EXPECT_FALSE(a.Read("liar.xml", out));
    EXPECT_TRUE(diag.Saw("liar.xml: stored entry's sizes disagree")) << diag.All();
  }
}

TEST(SkinArchive, HeadersPointingOutsideTheArchive) {
  ziptest::Layout layout;
  std::string zip = ziptest::Write({{"a.xml", "<a/>"}, {"b.xml", "<b/>"}}, &layout);
  // The central directory's local-header offset of b.xml points far away.
  const size_t dirEntry = zip.rfind("b.xml") - 46;
  zip[dirEntry + 42] = '\xF0';
  zip[dirEntry + 43] = '\xFF';
  zip[dirEntry + 44] = '\x0F';
  DiagCollector diag;
  SkinArchive a;
  ASSERT_TRUE(a.Open(zip.data(), zip.size(), ""));
  std::vector<uint8_t> out;
  EXPECT_TRUE(a.Read("a.xml", out));
  EXPECT_FALSE(a.Read("b.xml", out));
  EXPECT_TRUE(diag.Saw("b.xml: local header is missing or outside the archive")) << diag.All();
  EXPECT_FALSE(a.Read("c.xml", out));
  EXPECT_TRUE(diag.Saw("c.xml: no such entry")) << diag.All();
}

TEST(SkinArchive, NotAZip) {
  DiagCollector diag;
  SkinArchive a;
  const std::string junk(500, 'q');
  EXPECT_FALSE(a.Open(junk.data(), junk.size(), ""));
  EXPECT_FALSE(a.Open(nullptr, 0, ""));
  EXPECT_TRUE(diag.Saw("not a ZIP archive")) << diag.All();
}
