#include "uicontrols.h"

#include <oleacc.h>

#include <cwchar>

#include "strconv.h"
#include "uicontainer.h"
#include "uimanager.h"
#include "uigdiplus.h"
#include "uirender.h"

namespace brixui {

// --- label --------------------------------------------------------------------

bool CLabelUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"Label") == 0 || CControlUI::IsClass(name);
}

AccRole CLabelUI::GetAccRole() const {
  if (m_role != AccRole::None) return m_role;
  return GetText().empty() && m_tooltip.empty() ? AccRole::None : AccRole::StaticText;
}

// --- button -------------------------------------------------------------------

CButtonUI::CButtonUI() {
  m_keyboard = true;
  m_align = HAlign::Center;
}

bool CButtonUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"Button") == 0 || CLabelUI::IsClass(name);
}

void CButtonUI::Activate() {
  if (!IsEnabled() || !m_manager) return;
  m_manager->SendNotify(this, L"click");
}

AccRole CButtonUI::GetAccRole() const { return m_role != AccRole::None ? m_role : AccRole::PushButton; }


// --- option -------------------------------------------------------------------

bool COptionUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"Option") == 0 || CButtonUI::IsClass(name);
}


void COptionUI::Selected(bool selected, bool notify) {
  if (m_selected == selected) return;
  m_selected = selected;
  if (selected && !m_group.empty() && m_manager) {
    for (CControlUI* c : m_manager->GroupMembers(m_group)) {
      auto* other = dynamic_cast<COptionUI*>(c);
      if (other && other != this && other->IsSelected()) other->Selected(false, notify);
    }
  }
  Invalidate();
  NotifyAccEvent(EVENT_OBJECT_STATECHANGE);
  if (notify && m_manager) m_manager->SendNotify(this, L"selectchanged");
}

void COptionUI::Activate() {
  if (!IsEnabled() || !m_manager) return;
  // A radio button stays selected when clicked again; a check box toggles.
  if (m_group.empty()) Selected(!m_selected);
  else Selected(true);
  m_manager->SendNotify(this, L"click");
}

bool COptionUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const std::string v = brix::WideToUtf8(value);
  if (name == L"group") { m_group = value; return true; }
  if (name == L"selected") {
    bool b;
    if (!ParseBool(v, b)) return false;
    Selected(b, false);
    return true;
  }
  if (name == L"selectedimage") { m_selectedImage = value; Invalidate(); return true; }
  if (name == L"selectedhotimage") { m_selectedHotImage = value; Invalidate(); return true; }
  if (name == L"selectedtextcolor") {
    uint32_t c;
    if (!ParseColor(v, c)) return false;
    m_selectedTextColor = c;
    return true;
  }
  return CButtonUI::SetAttribute(name, value);
}

AccRole COptionUI::GetAccRole() const { return m_group.empty() ? AccRole::CheckButton : AccRole::RadioButton; }

DWORD COptionUI::GetAccState() const {
  DWORD s = CButtonUI::GetAccState();
  if (m_selected) s |= STATE_SYSTEM_CHECKED;
  return s;
}

std::wstring COptionUI::GetAccDefaultAction() const {
  if (!m_group.empty()) return L"Select";
  return m_selected ? L"Uncheck" : L"Check";
}

void COptionUI::PaintStatusImage(HDC hdc) {
  if (DrawsIndicator()) {
    const int size = Scale(14);
    const float x = static_cast<float>(m_rcItem.left + Scale(2));
    const float y = static_cast<float>(m_rcItem.top + (m_rcItem.bottom - m_rcItem.top - size) / 2);
    const float s = static_cast<float>(size - 1);
    const uint32_t accent = IsEnabled() ? 0xFF2060C0u : 0xFFB0B0B0u;
    Gdiplus::Graphics g(hdc);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    Gdiplus::Pen border(Gdiplus::Color((m_state & kHot) ? accent : 0xFF808080u), static_cast<Gdiplus::REAL>(Scale(1)));
    Gdiplus::SolidBrush white{Gdiplus::Color(0xFFFFFFFFu)};
    Gdiplus::SolidBrush fill{Gdiplus::Color(accent)};
    if (m_group.empty()) {
      g.FillRectangle(m_selected ? static_cast<Gdiplus::Brush*>(&fill) : &white, x, y, s, s);
      if (!m_selected) g.DrawRectangle(&border, x, y, s, s);
      if (m_selected) {
        Gdiplus::Pen tick(Gdiplus::Color(0xFFFFFFFFu), static_cast<Gdiplus::REAL>(std::max(2, Scale(2))));
        const Gdiplus::PointF pts[3] = {{x + s * 0.22f, y + s * 0.52f}, {x + s * 0.42f, y + s * 0.72f},
                                        {x + s * 0.78f, y + s * 0.30f}};
        g.DrawLines(&tick, pts, 3);
      }
    } else {
      g.FillEllipse(&white, x, y, s, s);
      g.DrawEllipse(&border, x, y, s, s);
      if (m_selected) g.FillEllipse(&fill, x + s * 0.25f, y + s * 0.25f, s * 0.5f, s * 0.5f);
    }
    return;
  }
  if (m_selected) {
    if ((m_state & kHot) && !m_selectedHotImage.empty() && IsEnabled()) {
      DrawImage(hdc, m_selectedHotImage, m_rcItem);
      return;
    }
    if (!m_selectedImage.empty()) {
      DrawImage(hdc, m_selectedImage, m_rcItem);
      if (IsFocused() && !m_focusedImage.empty()) DrawImage(hdc, m_focusedImage, m_rcItem);
      return;
    }
  }
  CButtonUI::PaintStatusImage(hdc);
}

RECT COptionUI::TextRect() const {
  RECT rc = CButtonUI::TextRect();
  if (DrawsIndicator()) rc.left += Scale(22);
  return rc;
}

uint32_t COptionUI::CurrentTextColor() const {
  if (m_selected && m_selectedTextColor && IsEnabled()) return m_selectedTextColor;
  return CButtonUI::CurrentTextColor();
}

// --- progress -----------------------------------------------------------------

bool CProgressUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"Progress") == 0 || CLabelUI::IsClass(name);
}

void CProgressUI::SetMinValue(int v) {
  m_min = v;
  if (m_max < m_min) m_max = m_min;
  SetValue(m_value);
  Invalidate();
}

void CProgressUI::SetMaxValue(int v) {
  m_max = v < m_min ? m_min : v;
  SetValue(m_value);
  Invalidate();
}

void CProgressUI::SetValue(int v) {
  v = std::max(m_min, std::min(v, m_max));
  if (v == m_value) return;
  m_value = v;
  Invalidate();
  NotifyAccEvent(EVENT_OBJECT_VALUECHANGE);
}

bool CProgressUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const std::string v = brix::WideToUtf8(value);
  int i;
  if (name == L"min") { if (!ParseInt(v, i)) return false; SetMinValue(i); return true; }
  if (name == L"max") { if (!ParseInt(v, i)) return false; SetMaxValue(i); return true; }
  if (name == L"value") { if (!ParseInt(v, i)) return false; SetValue(i); return true; }
  if (name == L"foreimage") { m_foreImage = value; Invalidate(); return true; }
  if (name == L"forecolor") {
    uint32_t c;
    if (!ParseColor(v, c)) return false;
    m_foreColor = c;
    Invalidate();
    return true;
  }
  return CLabelUI::SetAttribute(name, value);
}

std::wstring CProgressUI::GetAccValue() const {
  const int range = m_max - m_min;
  const int percent = range > 0 ? static_cast<int>((static_cast<long long>(m_value - m_min) * 100) / range) : 0;
  return std::to_wstring(percent) + L"%";
}

void CProgressUI::PaintStatusImage(HDC hdc) {
  CControlUI::PaintStatusImage(hdc);
  const int range = m_max - m_min;
  if (range <= 0) return;
  RECT bar = m_rcItem;
  bar.right = bar.left + static_cast<LONG>((static_cast<long long>(m_rcItem.right - m_rcItem.left) * (m_value - m_min)) / range);
  if (bar.right <= bar.left) return;
  const int saved = SaveDC(hdc);
  IntersectClipRect(hdc, bar.left, bar.top, bar.right, bar.bottom);
  // The fore image is drawn at the full width and clipped, so a gradient
  // keeps its look as the bar grows.
  if (!m_foreImage.empty()) DrawImage(hdc, m_foreImage, m_rcItem);
  else if (m_foreColor >> 24) FillColor(hdc, m_rcItem, m_foreColor, {Scale(m_borderRound.cx), Scale(m_borderRound.cy)});
  RestoreDC(hdc, saved);
}

// --- rich edit (a hosted native edit) -------------------------------------------

CRichEditUI::CRichEditUI() {
  m_keyboard = true;
  m_textPadding = {4, 0, 4, 0};
}

CRichEditUI::~CRichEditUI() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

bool CRichEditUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"RichEdit") == 0 || std::wcscmp(name, L"Edit") == 0 || CControlUI::IsClass(name);
}

std::wstring CRichEditUI::GetText() const {
  if (!m_hwnd) return m_text;
  const int n = GetWindowTextLengthW(m_hwnd);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(m_hwnd, &s[0], n + 1);
  s.resize(static_cast<size_t>(n));
  return s;
}

void CRichEditUI::SetText(const std::wstring& text) {
  m_text = text;
  if (m_hwnd) SetWindowTextW(m_hwnd, text.c_str());
  Invalidate();
  NotifyAccEvent(EVENT_OBJECT_VALUECHANGE);
}

void CRichEditUI::SetFocus() {
  CControlUI::SetFocus();
  if (m_hwnd && IsEffectivelyVisible()) ::SetFocus(m_hwnd);
}

bool CRichEditUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const std::string v = brix::WideToUtf8(value);
  int i;
  bool b;
  if (name == L"maxchar") {
    if (!ParseInt(v, i) || i <= 0) return false;
    m_maxChar = i;
    if (m_hwnd) SendMessageW(m_hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(i), 0);
    return true;
  }
  if (name == L"readonly") {
    if (!ParseBool(v, b)) return false;
    m_readOnly = b;
    if (m_hwnd) SendMessageW(m_hwnd, EM_SETREADONLY, b, 0);
    return true;
  }
  if (name == L"password") {
    if (!ParseBool(v, b)) return false;
    m_password = b;
    return true;
  }
  return CControlUI::SetAttribute(name, value);
}

void CRichEditUI::SetEnabled(bool enabled) {
  CControlUI::SetEnabled(enabled);
  if (m_hwnd) EnableWindow(m_hwnd, enabled);
}

std::wstring CRichEditUI::GetAccName() const { return m_tooltip.empty() ? m_name : m_tooltip; }

void CRichEditUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  SyncNative();
}

void CRichEditUI::CreateNative() {
  HWND parent = m_manager ? m_manager->GetPaintWindow() : nullptr;
  if (!parent || m_hwnd) return;
  DWORD style = WS_CHILD | ES_AUTOHSCROLL | ES_LEFT;
  if (m_password) style |= ES_PASSWORD;
  if (m_readOnly) style |= ES_READONLY;
  m_hwnd = CreateWindowExW(0, L"EDIT", m_text.c_str(), style, 0, 0, 0, 0, parent, nullptr,
                           CPaintManagerUI::GetInstance(), nullptr);
  if (!m_hwnd) return;
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, static_cast<LONG_PTR>(m_serial));
  SendMessageW(m_hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(m_maxChar), 0);
  EnableWindow(m_hwnd, IsEnabled());
}

void CRichEditUI::SyncNative() {
  if (!m_manager || !m_manager->GetPaintWindow()) return;
  const bool show = IsEffectivelyVisible() && !IsRectEmpty(&m_rcItem);
  if (!m_hwnd && !show) return;
  CreateNative();
  if (!m_hwnd) return;
  if (m_nativeDpi != m_manager->GetDPI()) {
    m_nativeDpi = m_manager->GetDPI();
    SendMessageW(m_hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(m_manager->GetFont(m_font)), TRUE);
  }
  if (!show) {
    if (GetFocus() == m_hwnd) ::SetFocus(m_manager->GetPaintWindow());
    ShowWindow(m_hwnd, SW_HIDE);
    return;
  }
  // The native edit sits inside the border and text padding, vertically
  // centred on its font's line height.
  RECT rc = TextRect();
  const RECT b = ScaleInsets(m_borderSize);
  rc.left += b.left;
  rc.right -= b.right;
  const SIZE line = MeasureText(m_manager->MeasureDC(), m_manager->GetFont(m_font), L"Ag", false, 0);
  const int h = std::min<int>(line.cy + 2, rc.bottom - rc.top);
  rc.top += (rc.bottom - rc.top - h) / 2;
  rc.bottom = rc.top + h;
  SetWindowPos(m_hwnd, nullptr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CRichEditUI::OnNativeChange() {
  if (!m_manager) return;
  NotifyAccEvent(EVENT_OBJECT_VALUECHANGE);
  m_manager->SendNotify(this, L"textchanged");
}

void CRichEditUI::PaintText(HDC hdc) {
  // The native edit draws the text; without a window (off-screen renders)
  // draw it here.
  if (!m_hwnd) CControlUI::PaintText(hdc);
}

}  // namespace brixui
