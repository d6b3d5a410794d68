#include "uirender.h"

#include <cstdlib>

#include "uigdiplus.h"

namespace brixui {
namespace {

Gdiplus::Color ToGdip(uint32_t argb) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb)); }

// A memory DC per thread for selecting source bitmaps.
HDC SourceDC() {
  static thread_local struct Holder {
    HDC dc = CreateCompatibleDC(nullptr);
    ~Holder() { DeleteDC(dc); }
  } holder;
  return holder.dc;
}

void Blend(HDC hdc, HDC src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh, int fade,
           const RECT& clip, bool opaque) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  // A pixel or two of difference is the rounding of 96-DPI sizes at a
  // scale: copy 1:1 (crisper, and no filtered stretch for nothing).
  if (std::abs(dw - sw) <= 2 && std::abs(dh - sh) <= 2) {
    sw = dw = std::min(dw, sw);
    sh = dh = std::min(dh, sh);
  }
  RECT d{dx, dy, dx + dw, dy + dh}, vis;
  if (!IntersectRect(&vis, &d, &clip)) return;
  if (opaque && fade == 255) {
    // Nothing to blend: a plain copy is several times faster.
    if (dw == sw && dh == sh) {
      BitBlt(hdc, vis.left, vis.top, vis.right - vis.left, vis.bottom - vis.top, src, sx + (vis.left - dx),
             sy + (vis.top - dy), SRCCOPY);
    } else {
      // Shrinking needs the filter; stretching (nine-grid edges, fills) not.
      if (dw < sw || dh < sh) {
        SetStretchBltMode(hdc, HALFTONE);
        SetBrushOrgEx(hdc, 0, 0, nullptr);
      } else {
        SetStretchBltMode(hdc, COLORONCOLOR);
      }
      StretchBlt(hdc, dx, dy, dw, dh, src, sx, sy, sw, sh, SRCCOPY);
    }
    return;
  }
  BLENDFUNCTION bf{AC_SRC_OVER, 0, static_cast<BYTE>(fade), AC_SRC_ALPHA};
  if (dw == sw && dh == sh) {
    // Unscaled: blend only the visible part.
    AlphaBlend(hdc, vis.left, vis.top, vis.right - vis.left, vis.bottom - vis.top, src, sx + (vis.left - dx),
               sy + (vis.top - dy), vis.right - vis.left, vis.bottom - vis.top, bf);
    return;
  }
  AlphaBlend(hdc, dx, dy, dw, dh, src, sx, sy, sw, sh, bf);
}

}  // namespace

ImageEntry::~ImageEntry() {
  for (HBITMAP b : frames) DeleteObject(b);
}

HBITMAP CreateDib32(int width, int height, void** bits) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* p = nullptr;
  HBITMAP b = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
  if (bits) *bits = p;
  return b;
}

HBITMAP RgbaToDib(const RgbaImage& image, bool* opaque) {
  if (image.empty()) return nullptr;
  void* bits = nullptr;
  HBITMAP b = CreateDib32(image.width, image.height, &bits);
  if (!b) return nullptr;
  auto* dst = static_cast<uint8_t*>(bits);
  const uint8_t* src = image.rgba.data();
  const size_t n = static_cast<size_t>(image.width) * image.height;
  unsigned allAlpha = 255;
  for (size_t i = 0; i < n; ++i, src += 4, dst += 4) {
    const unsigned a = src[3];
    allAlpha &= a;
    dst[0] = static_cast<uint8_t>((src[2] * a + 127) / 255);
    dst[1] = static_cast<uint8_t>((src[1] * a + 127) / 255);
    dst[2] = static_cast<uint8_t>((src[0] * a + 127) / 255);
    dst[3] = static_cast<uint8_t>(a);
  }
  GdiFlush();
  if (opaque) *opaque = allAlpha == 255;
  return b;
}

void DrawImageEntry(HDC hdc, const ImageEntry& image, int frame, const ImageRef& ref, const RECT& destIn,
                    const RECT& clip, int dpi) {
  if (image.frames.empty()) return;
  HBITMAP bmp = image.frames[static_cast<size_t>(frame) % image.frames.size()];
  auto s = [&](int v) { return MulDiv(v, dpi, 96); };
  RECT src{0, 0, image.width, image.height};
  if (ref.hasSource) {
    src = {s(ref.source.left), s(ref.source.top), s(ref.source.right), s(ref.source.bottom)};
    src.right = std::min<LONG>(src.right, image.width);
    src.bottom = std::min<LONG>(src.bottom, image.height);
    if (src.right <= src.left || src.bottom <= src.top) return;
  }
  RECT dest = destIn;
  if (ref.hasDest) {
    dest = {destIn.left + s(ref.dest.left), destIn.top + s(ref.dest.top), destIn.left + s(ref.dest.right),
            destIn.top + s(ref.dest.bottom)};
  }
  HDC sdc = SourceDC();
  HGDIOBJ old = SelectObject(sdc, bmp);
  const int cl = s(ref.corner.left), ct = s(ref.corner.top), cr = s(ref.corner.right), cb = s(ref.corner.bottom);
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  const int sw = src.right - src.left, sh = src.bottom - src.top;
  if (cl == 0 && ct == 0 && cr == 0 && cb == 0) {
    Blend(hdc, sdc, dest.left, dest.top, dw, dh, src.left, src.top, sw, sh, ref.fade, clip, image.opaque);
  } else {
    // Nine-grid: corners keep their size, edges stretch one way, the middle
    // both ways.
    const int xs[4] = {src.left, src.left + cl, src.right - cr, src.right};
    const int ys[4] = {src.top, src.top + ct, src.bottom - cb, src.bottom};
    const int xd[4] = {dest.left, dest.left + cl, dest.right - cr, dest.right};
    const int yd[4] = {dest.top, dest.top + ct, dest.bottom - cb, dest.bottom};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        Blend(hdc, sdc, xd[c], yd[r], xd[c + 1] - xd[c], yd[r + 1] - yd[r], xs[c], ys[r], xs[c + 1] - xs[c],
              ys[r + 1] - ys[r], ref.fade, clip, image.opaque);
  }
  SelectObject(sdc, old);
}

void FillColor(HDC hdc, const RECT& rc, uint32_t argb, SIZE round) {
  if ((argb >> 24) == 0 || IsRectEmpty(&rc)) return;
  if ((argb >> 24) == 0xFF && round.cx == 0 && round.cy == 0) {
    const COLORREF c = RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
    SetBkColor(hdc, c);
    ExtTextOutW(hdc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    return;
  }
  Gdiplus::Graphics g(hdc);
  Gdiplus::SolidBrush brush(ToGdip(argb));
  if (round.cx == 0 && round.cy == 0) {
    g.FillRectangle(&brush, static_cast<INT>(rc.left), static_cast<INT>(rc.top), static_cast<INT>(rc.right - rc.left),
                    static_cast<INT>(rc.bottom - rc.top));
    return;
  }
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  Gdiplus::GraphicsPath path;
  const float x = static_cast<float>(rc.left), y = static_cast<float>(rc.top);
  const float w = static_cast<float>(rc.right - rc.left), h = static_cast<float>(rc.bottom - rc.top);
  const float rx = std::min<float>(static_cast<float>(round.cx), w), ry = std::min<float>(static_cast<float>(round.cy), h);
  path.AddArc(x, y, rx, ry, 180, 90);
  path.AddArc(x + w - rx, y, rx, ry, 270, 90);
  path.AddArc(x + w - rx, y + h - ry, rx, ry, 0, 90);
  path.AddArc(x, y + h - ry, rx, ry, 90, 90);
  path.CloseFigure();
  g.FillPath(&brush, &path);
}

void DrawBorder(HDC hdc, const RECT& rc, uint32_t argb, const RECT& sz, SIZE round) {
  if ((argb >> 24) == 0) return;
  if (round.cx > 0 || round.cy > 0) {
    const int width = std::max<int>(1, sz.left);
    Gdiplus::Graphics g(hdc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    Gdiplus::Pen pen(ToGdip(argb), static_cast<Gdiplus::REAL>(width));
    const float half = width / 2.0f;
    const float x = rc.left + half, y = rc.top + half;
    const float w = rc.right - rc.left - width, h = rc.bottom - rc.top - width;
    const float rx = static_cast<float>(round.cx), ry = static_cast<float>(round.cy);
    Gdiplus::GraphicsPath path;
    path.AddArc(x, y, rx, ry, 180, 90);
    path.AddArc(x + w - rx, y, rx, ry, 270, 90);
    path.AddArc(x + w - rx, y + h - ry, rx, ry, 0, 90);
    path.AddArc(x, y + h - ry, rx, ry, 90, 90);
    path.CloseFigure();
    g.DrawPath(&pen, &path);
    return;
  }
  FillColor(hdc, {rc.left, rc.top, rc.left + sz.left, rc.bottom}, argb);
  FillColor(hdc, {rc.left, rc.top, rc.right, rc.top + sz.top}, argb);
  FillColor(hdc, {rc.right - sz.right, rc.top, rc.right, rc.bottom}, argb);
  FillColor(hdc, {rc.left, rc.bottom - sz.bottom, rc.right, rc.bottom}, argb);
}

void DrawFocusRect(HDC hdc, const RECT& rc, uint32_t argb) {
  const COLORREF c = RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
  for (int x = rc.left; x < rc.right; x += 2) {
    SetPixelV(hdc, x, rc.top, c);
    SetPixelV(hdc, x, rc.bottom - 1, c);
  }
  for (int y = rc.top; y < rc.bottom; y += 2) {
    SetPixelV(hdc, rc.left, y, c);
    SetPixelV(hdc, rc.right - 1, y, c);
  }
}

bool HasTextEffects(const TextStyle& st) {
  return (st.outlineSize > 0 && (st.outlineColor >> 24)) || (st.glowSize > 0 && (st.glowColor >> 24));
}

HBITMAP RenderTextEffects(HDC reference, const std::wstring& text, SIZE size, const TextStyle& st) {
  if (text.empty() || size.cx <= 0 || size.cy <= 0) return nullptr;
  const SIZE need = MeasureText(reference, st.font, text, st.multiline, size.cx);
  if (st.multiline ? need.cy > size.cy : need.cx > size.cx) return nullptr;
  void* bits = nullptr;
  HBITMAP bmp = CreateDib32(size.cx, size.cy, &bits);
  if (!bmp) return nullptr;
  {
    Gdiplus::Bitmap canvas(size.cx, size.cy, size.cx * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits));
    Gdiplus::Graphics g(&canvas);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    Gdiplus::Font font(reference, st.font);
    Gdiplus::FontFamily family;
    font.GetFamily(&family);
    Gdiplus::StringFormat format;
    format.SetAlignment(st.align == HAlign::Center ? Gdiplus::StringAlignmentCenter
                        : st.align == HAlign::Right ? Gdiplus::StringAlignmentFar
                                                    : Gdiplus::StringAlignmentNear);
    format.SetLineAlignment(st.valign == VAlign::Center ? Gdiplus::StringAlignmentCenter
                            : st.valign == VAlign::Bottom ? Gdiplus::StringAlignmentFar
                                                          : Gdiplus::StringAlignmentNear);
    if (!st.multiline) format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
    Gdiplus::GraphicsPath path;
    const Gdiplus::RectF box(0, 0, static_cast<Gdiplus::REAL>(size.cx), static_cast<Gdiplus::REAL>(size.cy));
    const float em = font.GetSize() * (font.GetUnit() == Gdiplus::UnitPoint ? 96.0f / 72.0f : 1.0f);
    path.AddString(text.c_str(), static_cast<INT>(text.size()), &family, font.GetStyle(), em, box, &format);
    if (st.glowSize > 0 && (st.glowColor >> 24)) {
      const int steps = std::min(st.glowSize, 8);
      for (int i = steps; i >= 1; --i) {
        const uint32_t a = ((st.glowColor >> 24) * (steps - i + 1)) / (steps * 3 + 1);
        Gdiplus::Pen pen(ToGdip((a << 24) | (st.glowColor & 0xFFFFFF)),
                         static_cast<Gdiplus::REAL>(2.0 * i * st.glowSize / steps));
        pen.SetLineJoin(Gdiplus::LineJoinRound);
        g.DrawPath(&pen, &path);
      }
    }
    if (st.outlineSize > 0 && (st.outlineColor >> 24)) {
      Gdiplus::Pen pen(ToGdip(st.outlineColor), static_cast<Gdiplus::REAL>(st.outlineSize * 2));
      pen.SetLineJoin(Gdiplus::LineJoinRound);
      g.DrawPath(&pen, &path);
    }
    Gdiplus::SolidBrush brush(ToGdip(st.color));
    g.FillPath(&brush, &path);
    g.Flush(Gdiplus::FlushIntentionSync);
  }
  GdiFlush();
  return bmp;
}

SIZE MeasureText(HDC hdc, HFONT font, const std::wstring& text, bool multiline, int width) {
  HGDIOBJ old = SelectObject(hdc, font);
  RECT rc{0, 0, multiline && width > 0 ? width : 0, 0};
  UINT fmt = DT_CALCRECT | DT_NOPREFIX | (multiline ? DT_WORDBREAK : DT_SINGLELINE);
  const std::wstring t = text.empty() ? L" " : text;
  DrawTextW(hdc, t.c_str(), static_cast<int>(t.size()), &rc, fmt);
  SelectObject(hdc, old);
  return {text.empty() ? 0 : rc.right - rc.left, rc.bottom - rc.top};
}

bool DrawTextStyled(HDC hdc, const std::wstring& text, const RECT& rc, const TextStyle& st) {
  if (text.empty() || IsRectEmpty(&rc)) return false;
  const int availW = rc.right - rc.left, availH = rc.bottom - rc.top;
  const SIZE need = MeasureText(hdc, st.font, text, st.multiline, availW);
  const bool cut = st.multiline ? need.cy > availH : need.cx > availW;
  UINT fmt = DT_NOPREFIX;
  fmt |= st.align == HAlign::Center ? DT_CENTER : st.align == HAlign::Right ? DT_RIGHT : DT_LEFT;
  if (st.multiline) {
    fmt |= DT_WORDBREAK | DT_END_ELLIPSIS;
  } else {
    fmt |= DT_SINGLELINE | DT_END_ELLIPSIS;
    fmt |= st.valign == VAlign::Center ? DT_VCENTER : st.valign == VAlign::Bottom ? DT_BOTTOM : DT_TOP;
  }
  RECT r = rc;
  if (st.multiline && !cut) {
    // DrawText centres vertically only single lines: do it by hand.
    const int extra = availH - need.cy;
    if (st.valign == VAlign::Center) r.top += extra / 2;
    else if (st.valign == VAlign::Bottom) r.top += extra;
  }
  if (HasTextEffects(st) && !cut) {
    // Callers that draw often keep the bitmap (see RenderTextEffects).
    HBITMAP bmp = RenderTextEffects(hdc, text, {availW, availH}, st);
    if (bmp) {
      ImageEntry entry;
      entry.width = availW;
      entry.height = availH;
      entry.frames.push_back(bmp);
      RECT clip;
      GetClipBox(hdc, &clip);
      DrawImageEntry(hdc, entry, 0, ImageRef{}, rc, clip, 96);
      return false;
    }
  }
  HGDIOBJ old = SelectObject(hdc, st.font);
  SetBkMode(hdc, TRANSPARENT);
  SetTextColor(hdc, RGB((st.color >> 16) & 0xFF, (st.color >> 8) & 0xFF, st.color & 0xFF));
  DrawTextW(hdc, text.c_str(), static_cast<int>(text.size()), &r, fmt);
  SelectObject(hdc, old);
  return cut;
}

}  // namespace brixui
