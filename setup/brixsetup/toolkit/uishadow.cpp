#include "uishadow.h"

#include <algorithm>
#include <cmath>

#include "uirender.h"

namespace brixui {
namespace {

const wchar_t kShadowClass[] = L"BrixUIShadow";

bool RegisterShadowClass(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, kShadowClass, &wc)) return true;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.lpszClassName = kShadowClass;
  return RegisterClassExW(&wc) != 0;
}

// Distance from (x, y) outside a rounded rectangle to its edge (0 inside).
double DistanceOutside(double x, double y, double w, double h, double r) {
  const double cx = std::max(r, std::min(x, w - r));
  const double cy = std::max(r, std::min(y, h - r));
  const double dx = x - cx, dy = y - cy;
  return std::max(0.0, std::sqrt(dx * dx + dy * dy) - r);
}

}  // namespace

CShadowUI::CShadowUI(HWND owner, int size, uint32_t argb, SIZE round)
    : m_owner(owner), m_size(size), m_color(argb), m_round(round) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (size <= 0 || !RegisterShadowClass(instance)) return;
  m_hwnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kShadowClass,
                           L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

CShadowUI::~CShadowUI() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

void CShadowUI::Render(int width, int height) {
  void* bits = nullptr;
  HBITMAP bmp = CreateDib32(width, height, &bits);
  if (!bmp) return;
  auto* px = static_cast<uint32_t*>(bits);
  const double w = width - 2.0 * m_size, h = height - 2.0 * m_size;
  const double r = std::min<double>(std::max<LONG>(m_round.cx, m_round.cy) / 2.0, std::min(w, h) / 2);
  const unsigned maxA = m_color >> 24;
  const unsigned cr = (m_color >> 16) & 0xFF, cg = (m_color >> 8) & 0xFF, cb = m_color & 0xFF;
  const int band = m_size + static_cast<int>(std::ceil(r)) + 1;
  for (int y = 0; y < height; ++y) {
    // Rows beside the window's straight edges only have shadow in the
    // margins; the rest of the bitmap stays clear (a new DIB is zeroed).
    const bool middleRow = y >= band && y < height - band;
    for (int x = 0; x < width; ++x) {
      if (middleRow && x == m_size) x = width - m_size;
      const double d = DistanceOutside(x - m_size + 0.5, y - m_size + 0.5, w, h, r);
      // Nothing under the window itself: where layered windows cannot be
      // blended (no compositor) fully clear pixels are cut out, so the
      // shadow can never hide the window. Outside it falls off smoothly.
      if (d <= 0 && x >= m_size && y >= m_size && x < width - m_size && y < height - m_size) continue;
      const double t = std::min(1.0, d / m_size);
      const double k = (1 - t) * (1 - t);
      const unsigned a = static_cast<unsigned>(maxA * k + 0.5);
      px[static_cast<size_t>(y) * width + x] = (a << 24) | ((cr * a / 255) << 16) | ((cg * a / 255) << 8) | (cb * a / 255);
    }
  }
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  RECT rc;
  GetWindowRect(m_owner, &rc);
  POINT dst{rc.left - m_size, rc.top - m_size}, src{0, 0};
  SIZE sz{width, height};
  BLENDFUNCTION bf{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  UpdateLayeredWindow(m_hwnd, screen, &dst, &sz, mem, &src, 0, &bf, ULW_ALPHA);
  SelectObject(mem, old);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  DeleteObject(bmp);
  m_rendered = sz;
}

void CShadowUI::Update() {
  if (!m_hwnd) return;
  if (!IsWindowVisible(m_owner) || IsIconic(m_owner)) {
    ShowWindow(m_hwnd, SW_HIDE);
    return;
  }
  RECT rc;
  GetWindowRect(m_owner, &rc);
  const int width = rc.right - rc.left + 2 * m_size, height = rc.bottom - rc.top + 2 * m_size;
  if (width != m_rendered.cx || height != m_rendered.cy) Render(width, height);
  // Just below the owner in the z-order.
  SetWindowPos(m_hwnd, m_owner, rc.left - m_size, rc.top - m_size, width, height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW | SWP_NOSIZE);
}

}  // namespace brixui
