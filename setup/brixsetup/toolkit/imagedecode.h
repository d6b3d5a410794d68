#pragma once
// Image decoding for skins, portable: PNG (and JPEG/BMP) through stb_image,
// SVG through nanosvg at an exact scale, still and animated WebP through
// libwebp's demux decoder. Pixels come out as straight (not premultiplied)
// RGBA, top row first. Sizes are limited so a hostile file cannot make the
// toolkit allocate without bound.
#include <cstdint>
#include <string>
#include <vector>

#include "imagenames.h"

namespace brixui {

constexpr int kMaxImageSide = 8192;
constexpr uint64_t kMaxImagePixels = 32ull << 20;   // per frame
constexpr uint64_t kMaxAnimationBytes = 128ull << 20;  // all frames

struct RgbaImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // width * height * 4
  bool empty() const { return width <= 0 || height <= 0; }
};

struct DecodedImage {
  std::vector<RgbaImage> frames;  // one for still images
  std::vector<int> delaysMs;      // per frame, animations only
  bool animated() const { return frames.size() > 1; }
};

enum class ImageFormat { Unknown, Png, Jpeg, Bmp, Svg, Webp };
// From the bytes' signature; SVG by an '<' after optional blanks/BOM.
ImageFormat SniffImageFormat(const uint8_t* bytes, size_t size);

// Raster formats. False with a report naming `name` when the data is not an
// image of a known format or is damaged or too large.
bool DecodeImage(const std::string& name, const uint8_t* bytes, size_t size, DecodedImage& out);
// SVG at `scale` (1.0 = its own size in 96-DPI pixels).
bool RasteriseSvg(const std::string& name, const uint8_t* bytes, size_t size, double scale, RgbaImage& out);
// Resampled with a good filter (Mitchell down, Catmull-Rom up), alpha-weighted.
RgbaImage Resample(const RgbaImage& src, int width, int height);

}  // namespace brixui
