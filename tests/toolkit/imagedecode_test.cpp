// Image decoding and the image naming rule, without a window.
#include <gtest/gtest.h>

#include <string>

#include "imagedecode.h"
#include "skinarchive.h"
#include "testpaths.h"
#include "uidiag.h"

using namespace brixui;

namespace {

std::vector<uint8_t> FromSkin(const char* name) {
  static const std::string zip = testsupport::ReadFileBytes(testsupport::BinPath(L"uitest.zip"));
  SkinArchive a;
  EXPECT_TRUE(a.Open(zip.data(), zip.size(), ""));
  std::vector<uint8_t> out;
  EXPECT_TRUE(a.Read(name, out)) << name;
  return out;
}

const uint8_t* Px(const RgbaImage& img, int x, int y) { return &img.rgba[(static_cast<size_t>(y) * img.width + x) * 4]; }

}  // namespace

TEST(ImageDecode, PngOfTheSkin) {
  const auto bytes = FromSkin("Image/logo@150.png");
  DecodedImage img;
  ASSERT_TRUE(DecodeImage("Image/logo@150.png", bytes.data(), bytes.size(), img));
  ASSERT_EQ(1u, img.frames.size());
  EXPECT_EQ(24, img.frames[0].width);
  EXPECT_EQ(24, img.frames[0].height);
  const uint8_t* p = Px(img.frames[0], 5, 5);
  EXPECT_EQ(0, p[0]);
  EXPECT_EQ(0, p[1]);
  EXPECT_EQ(255, p[2]);
  EXPECT_EQ(255, p[3]);
}

TEST(ImageDecode, SvgIsRenderedAtTheExactScale) {
  const auto bytes = FromSkin("Image/min.svg");
  RgbaImage one, onehalf;
  ASSERT_TRUE(RasteriseSvg("Image/min.svg", bytes.data(), bytes.size(), 1.0, one));
  ASSERT_TRUE(RasteriseSvg("Image/min.svg", bytes.data(), bytes.size(), 1.5, onehalf));
  EXPECT_EQ(40, one.width);
  EXPECT_EQ(60, onehalf.width);
  EXPECT_EQ(60, onehalf.height);
  // The bar (y 19..21 at 100 %) is opaque white in the middle, clear above.
  EXPECT_EQ(255, Px(one, 20, 20)[3]);
  EXPECT_EQ(255, Px(onehalf, 30, 30)[3]);
  EXPECT_EQ(0, Px(onehalf, 30, 10)[3]);
}

TEST(ImageDecode, ResampleKeepsColourAndAlpha) {
  RgbaImage src;
  src.width = src.height = 4;
  src.rgba.assign(4 * 4 * 4, 0);
  for (int i = 0; i < 16; ++i) {
    src.rgba[i * 4 + 0] = 200;
    src.rgba[i * 4 + 3] = 255;
  }
  const RgbaImage big = Resample(src, 10, 10);
  ASSERT_EQ(10, big.width);
  EXPECT_NEAR(200, Px(big, 5, 5)[0], 2);
  EXPECT_EQ(255, Px(big, 5, 5)[3]);
  EXPECT_TRUE(Resample(src, 0, 10).empty());
}

TEST(ImageDecode, DamagedAndHostileImagesAreRefused) {
  DiagCollector diag;
  DecodedImage img;
  auto png = FromSkin("Image/page.png");
  std::vector<uint8_t> cut(png.begin(), png.begin() + png.size() / 2);
  EXPECT_FALSE(DecodeImage("Image/page.png", cut.data(), cut.size(), img));
  EXPECT_TRUE(diag.Saw("Image/page.png: damaged image")) << diag.All();

  // A PNG header announcing 100000 x 100000 pixels.
  std::vector<uint8_t> huge = png;
  huge[16] = 0; huge[17] = 1; huge[18] = 0x86; huge[19] = 0xA0;
  huge[20] = 0; huge[21] = 1; huge[22] = 0x86; huge[23] = 0xA0;
  EXPECT_FALSE(DecodeImage("huge.png", huge.data(), huge.size(), img));
  EXPECT_TRUE(diag.Saw("huge.png: ")) << diag.All();

  const std::string riff = "RIFF\x10\0\0\0WEBPVP8 \x04\0\0\0abcd";
  EXPECT_FALSE(DecodeImage("anim.webp", reinterpret_cast<const uint8_t*>(riff.data()), riff.size(), img));
  EXPECT_TRUE(diag.Saw("anim.webp: ")) << diag.All();

  const std::string text = "just text";
  EXPECT_FALSE(DecodeImage("x.png", reinterpret_cast<const uint8_t*>(text.data()), text.size(), img));
  EXPECT_TRUE(diag.Saw("x.png: not an image of a known format")) << diag.All();

  RgbaImage svg;
  const std::string noSize = "<svg xmlns=\"http://www.w3.org/2000/svg\"></svg>";
  EXPECT_FALSE(RasteriseSvg("empty.svg", reinterpret_cast<const uint8_t*>(noSize.data()), noSize.size(), 1.0, svg));
  const std::string giant = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"90000\" height=\"10\"><rect width=\"5\" height=\"5\"/></svg>";
  EXPECT_FALSE(RasteriseSvg("giant.svg", reinterpret_cast<const uint8_t*>(giant.data()), giant.size(), 1.0, svg));
  EXPECT_TRUE(diag.Saw("giant.svg: SVG size out of range")) << diag.All();
}

TEST(ImageNaming, ScaledNamesAndFallbackOrder) {
  EXPECT_EQ("Image/x.png", ScaledImageName("Image/x.png", 96));
  EXPECT_EQ("Image/x@125.png", ScaledImageName("Image/x.png", 120));
  EXPECT_EQ("Image/x@175.png", ScaledImageName("Image/x.png", 168));
  EXPECT_EQ("Image/x@200.png", ScaledImageName("Image/x.png", 192));
  EXPECT_EQ("Image.d/x@150", ScaledImageName("Image.d/x", 144));
  const auto c = ScaledImageCandidates("Image/x.png", 144);
  ASSERT_EQ(5u, c.size());
  // exact, nearer larger first, then smaller from the largest down
  EXPECT_EQ("Image/x@150.png", c[0].first);
  EXPECT_EQ("Image/x@175.png", c[1].first);
  EXPECT_EQ("Image/x@200.png", c[2].first);
  EXPECT_EQ("Image/x@125.png", c[3].first);
  EXPECT_EQ("Image/x.png", c[4].first);
  EXPECT_EQ(96, c[4].second);
}
