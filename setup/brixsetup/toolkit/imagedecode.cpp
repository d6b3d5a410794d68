#include "imagedecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

// stb_image: only the formats skins use; dimensions limited before any
// allocation.
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 8192
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>

#include <cstdio>
// libsdl2-image's copy marks its sort callback with SDL's calling convention.
#ifndef SDLCALL
#define SDLCALL
#endif
#define NANOSVG_IMPLEMENTATION
#define NANOSVGRAST_IMPLEMENTATION
#include <nanosvg.h>
#include <nanosvgrast.h>

#include <webp/decode.h>
#include <webp/demux.h>

#include "uidiag.h"

namespace brixui {
namespace {

bool Fail(const std::string& name, const std::string& what) {
  Diag(name, what);
  return false;
}

bool SizeOk(int w, int h) {
  return w > 0 && h > 0 && w <= kMaxImageSide && h <= kMaxImageSide &&
         static_cast<uint64_t>(w) * static_cast<uint64_t>(h) <= kMaxImagePixels;
}

bool DecodeWebp(const std::string& name, const uint8_t* bytes, size_t size, DecodedImage& out) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bytes, size, &features) != VP8_STATUS_OK) return Fail(name, "not a readable WebP image");
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return Fail(name, "WebP decoder unavailable");
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  WebPData data{bytes, size};
  std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> dec(WebPAnimDecoderNew(&data, &options),
                                                                  WebPAnimDecoderDelete);
  if (!dec) return Fail(name, "damaged WebP image");
  WebPAnimInfo info;
  if (!WebPAnimDecoderGetInfo(dec.get(), &info)) return Fail(name, "damaged WebP image");
  const int w = static_cast<int>(info.canvas_width), h = static_cast<int>(info.canvas_height);
  if (!SizeOk(w, h)) return Fail(name, "WebP canvas " + std::to_string(w) + "x" + std::to_string(h) + " is too large");
  const uint64_t frameBytes = static_cast<uint64_t>(w) * h * 4;
  if (frameBytes * std::max<uint32_t>(info.frame_count, 1) > kMaxAnimationBytes)
    return Fail(name, "WebP animation needs more than " + std::to_string(kMaxAnimationBytes) + " bytes decoded");
  int previous = 0;
  while (WebPAnimDecoderHasMoreFrames(dec.get())) {
    uint8_t* buf = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(dec.get(), &buf, &timestamp)) {
      out = DecodedImage();
      return Fail(name, "damaged WebP frame " + std::to_string(out.frames.size()));
    }
    RgbaImage frame;
    frame.width = w;
    frame.height = h;
    frame.rgba.assign(buf, buf + frameBytes);
    out.frames.push_back(std::move(frame));
    out.delaysMs.push_back(std::max(10, timestamp - previous));  // browsers clamp tiny delays too
    previous = timestamp;
  }
  if (out.frames.empty()) return Fail(name, "WebP image without frames");
  return true;
}

}  // namespace

ImageFormat SniffImageFormat(const uint8_t* b, size_t n) {
  if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0) return ImageFormat::Png;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ImageFormat::Jpeg;
  if (n >= 2 && b[0] == 'B' && b[1] == 'M') return ImageFormat::Bmp;
  if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) return ImageFormat::Webp;
  size_t i = 0;
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) i = 3;
  while (i < n && (b[i] == ' ' || b[i] == '\t' || b[i] == '\r' || b[i] == '\n')) ++i;
  if (i < n && b[i] == '<') return ImageFormat::Svg;
  return ImageFormat::Unknown;
}

bool DecodeImage(const std::string& name, const uint8_t* bytes, size_t size, DecodedImage& out) {
  out = DecodedImage();
  if (!bytes || size == 0) return Fail(name, "image file is empty");
  switch (SniffImageFormat(bytes, size)) {
    case ImageFormat::Webp:
      return DecodeWebp(name, bytes, size, out);
    case ImageFormat::Png:
    case ImageFormat::Jpeg:
    case ImageFormat::Bmp: {
      if (size > static_cast<size_t>(INT32_MAX)) return Fail(name, "image file is too large");
      int w = 0, h = 0, n = 0;
      if (!stbi_info_from_memory(bytes, static_cast<int>(size), &w, &h, &n)) return Fail(name, "damaged image header");
      if (!SizeOk(w, h)) return Fail(name, "image " + std::to_string(w) + "x" + std::to_string(h) + " is too large");
      stbi_uc* px = stbi_load_from_memory(bytes, static_cast<int>(size), &w, &h, &n, 4);
      if (!px) return Fail(name, std::string("damaged image: ") + (stbi_failure_reason() ? stbi_failure_reason() : "?"));
      RgbaImage frame;
      frame.width = w;
      frame.height = h;
      frame.rgba.assign(px, px + static_cast<size_t>(w) * h * 4);
      stbi_image_free(px);
      out.frames.push_back(std::move(frame));
      return true;
    }
    case ImageFormat::Svg:
      return Fail(name, "SVG images are rendered per scale, not decoded once");
    case ImageFormat::Unknown:
      break;
  }
  return Fail(name, "not an image of a known format (PNG, JPEG, BMP, WebP, SVG)");
}

bool RasteriseSvg(const std::string& name, const uint8_t* bytes, size_t size, double scale, RgbaImage& out) {
  out = RgbaImage();
  if (size > (16u << 20)) return Fail(name, "SVG file is too large");
  std::string text(reinterpret_cast<const char*>(bytes), size);  // nanosvg parses in place
  std::unique_ptr<NSVGimage, void (*)(NSVGimage*)> image(nsvgParse(&text[0], "px", 96.0f), nsvgDelete);
  if (!image || image->width <= 0 || image->height <= 0 || !image->shapes)
    return Fail(name, "SVG without size or shapes");
  const double wf = std::ceil(image->width * scale - 0.01), hf = std::ceil(image->height * scale - 0.01);
  if (!(wf >= 1 && hf >= 1 && wf <= kMaxImageSide && hf <= kMaxImageSide)) return Fail(name, "SVG size out of range");
  const int w = static_cast<int>(wf), h = static_cast<int>(hf);
  if (!SizeOk(w, h)) return Fail(name, "SVG size out of range");
  std::unique_ptr<NSVGrasterizer, void (*)(NSVGrasterizer*)> rast(nsvgCreateRasterizer(), nsvgDeleteRasterizer);
  if (!rast) return Fail(name, "SVG rasteriser unavailable");
  out.width = w;
  out.height = h;
  out.rgba.assign(static_cast<size_t>(w) * h * 4, 0);
  nsvgRasterize(rast.get(), image.get(), 0, 0, static_cast<float>(scale), out.rgba.data(), w, h, w * 4);
  return true;
}

RgbaImage Resample(const RgbaImage& src, int width, int height) {
  RgbaImage dst;
  if (src.empty() || width <= 0 || height <= 0 || !SizeOk(width, height)) return dst;
  dst.width = width;
  dst.height = height;
  dst.rgba.resize(static_cast<size_t>(width) * height * 4);
  if (width == src.width && height == src.height) {
    dst.rgba = src.rgba;
    return dst;
  }
  const stbir_filter filter = width < src.width ? STBIR_FILTER_MITCHELL : STBIR_FILTER_CATMULLROM;
  stbir_resize_uint8_generic(src.rgba.data(), src.width, src.height, src.width * 4, dst.rgba.data(), width, height,
                             width * 4, 4, 3, 0, STBIR_EDGE_CLAMP, filter, STBIR_COLORSPACE_SRGB, nullptr);
  return dst;
}

}  // namespace brixui
