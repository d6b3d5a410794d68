#pragma once
// Drawing primitives of the toolkit, on 32-bit top-down DIB back buffers:
// premultiplied images with nine-grid stretching, colour fills with alpha
// and round corners, borders, and text with ellipsis, wrap, outline and
// glow.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "attrvalue.h"
#include "imagedecode.h"

namespace brixui {

// A decoded image at one DPI: premultiplied BGRA DIB sections, one per
// frame.
struct ImageEntry {
  int dpi = 96;
  int width = 0;
  int height = 0;
  std::vector<HBITMAP> frames;
  std::vector<int> delaysMs;
  bool opaque = false;  // every pixel of every frame fully opaque
  ~ImageEntry();
};

HBITMAP CreateDib32(int width, int height, void** bits);
// Straight RGBA to a premultiplied BGRA DIB section; `opaque` tells
// whether every pixel had full alpha.
HBITMAP RgbaToDib(const RgbaImage& image, bool* opaque = nullptr);

// Draws `image` into `dest` as `ref` says (source rectangle, nine-grid
// corners, fade), clipped to `clip`; `dpi` converts the reference's
// 96-DPI numbers to image pixels.
void DrawImageEntry(HDC hdc, const ImageEntry& image, int frame, const ImageRef& ref, const RECT& dest,
                    const RECT& clip, int dpi);

// Colour fill with alpha and optional round corners (anti-aliased).
void FillColor(HDC hdc, const RECT& rc, uint32_t argb, SIZE round = {0, 0});
// Border of the given side widths, or a round one of width `sizes.left`.
void DrawBorder(HDC hdc, const RECT& rc, uint32_t argb, const RECT& sizes, SIZE round);
// A one-pixel dotted focus rectangle.
void DrawFocusRect(HDC hdc, const RECT& rc, uint32_t argb);

struct TextStyle {
  HFONT font = nullptr;
  uint32_t color = 0xFF000000;
  HAlign align = HAlign::Left;
  VAlign valign = VAlign::Center;
  bool multiline = false;
  uint32_t outlineColor = 0;
  int outlineSize = 0;  // device pixels
  uint32_t glowColor = 0;
  int glowSize = 0;     // device pixels
};
bool HasTextEffects(const TextStyle& style);
// Text with its outline or glow into a premultiplied bitmap of `size`
// (positioned as DrawTextStyled would inside a rectangle of that size).
// GDI+ paths are slow under Wine, so controls keep the bitmap until the
// text or its style changes. Null when the text does not fit (cut text is
// drawn plainly, with an ellipsis).
HBITMAP RenderTextEffects(HDC reference, const std::wstring& text, SIZE size, const TextStyle& style);
// Draws the text; returns true when it had to be shortened (ellipsis or
// lines beyond the rectangle).
bool DrawTextStyled(HDC hdc, const std::wstring& text, const RECT& rc, const TextStyle& style);
// Width and height of the text in one line (or wrapped to `width` when
// multiline and width > 0).
SIZE MeasureText(HDC hdc, HFONT font, const std::wstring& text, bool multiline, int width);

}  // namespace brixui
