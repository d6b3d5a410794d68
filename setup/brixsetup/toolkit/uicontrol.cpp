#include "uicontrol.h"

#include <oleacc.h>

#include <atomic>
#include <cwchar>

#include "strconv.h"
#include "uicontainer.h"
#include "uimanager.h"
#include "uirender.h"

namespace brixui {
namespace {

std::atomic<uint32_t> g_nextSerial{1};

std::string Narrow(const std::wstring& s) { return brix::WideToUtf8(s); }

}  // namespace

CControlUI::CControlUI() : m_serial(g_nextSerial++) {}

CControlUI::~CControlUI() {
  if (m_manager) m_manager->ReapObjects(this);
  delete m_effectText.image;
}

bool CControlUI::IsClass(const wchar_t* name) const { return std::wcscmp(name, L"Control") == 0; }

void CControlUI::SetManager(CPaintManagerUI* manager, CContainerUI* parent) {
  m_manager = manager;
  m_parent = parent;
}

void CControlUI::SetText(const std::wstring& text) {
  if (text == m_text) return;
  m_text = text;
  Invalidate();
  NotifyAccEvent(EVENT_OBJECT_NAMECHANGE);
}

std::wstring CControlUI::EffectiveToolTip() const {
  if (!m_tooltip.empty()) return m_tooltip;
  return m_textCut ? GetText() : std::wstring();
}

void CControlUI::SetVisible(bool visible) {
  if (m_visible == visible) return;
  m_visible = visible;
  if (!visible && m_manager && m_manager->GetFocus() == this) m_manager->SetFocus(nullptr);
  NeedParentUpdate();
  NotifyAccEvent(visible ? EVENT_OBJECT_SHOW : EVENT_OBJECT_HIDE);
}

bool CControlUI::IsEffectivelyVisible() const {
  if (!m_visible) return false;
  for (const CControlUI* c = this; c->m_parent; c = c->m_parent) {
    if (!c->m_parent->IsVisible() || !c->m_parent->ShowsChild(c)) return false;
  }
  return true;
}

void CControlUI::SetEnabled(bool enabled) {
  if (m_enabled == enabled) return;
  m_enabled = enabled;
  if (!enabled) m_state &= ~(kHot | kPushed);
  if (!enabled && m_manager && m_manager->GetFocus() == this) m_manager->SetFocus(nullptr);
  Invalidate();
  NotifyAccEvent(EVENT_OBJECT_STATECHANGE);
}

bool CControlUI::IsFocused() const { return m_manager && m_manager->GetFocus() == this; }

void CControlUI::SetFocus() {
  if (m_manager) m_manager->SetFocus(this);
}

void CControlUI::SetBkImage(const std::wstring& image) {
  if (image == m_bkImage) return;
  m_bkImage = image;
  Invalidate();
}

bool CControlUI::SetAttribute(const std::wstring& wname, const std::wstring& wvalue) {
  const std::string name = Narrow(wname), v = Narrow(wvalue);
  int i;
  bool b;
  uint32_t c;
  Insets in;
  Size2 sz;
  if (name == "name") m_name = wvalue;
  else if (name == "text") SetText(wvalue);
  else if (name == "tooltip") m_tooltip = wvalue;
  else if (name == "userdata") m_userData = wvalue;
  else if (name == "tag") { if (!ParseInt(v, i)) return false; m_tag = i; }
  else if (name == "width") { if (!ParseInt(v, i) || i < 0) return false; SetFixedWidth(i); }
  else if (name == "height") { if (!ParseInt(v, i) || i < 0) return false; SetFixedHeight(i); }
  else if (name == "size") { if (!ParseSize(v, sz)) return false; m_fixed = sz; NeedParentUpdate(); }
  else if (name == "minwidth") { if (!ParseInt(v, i)) return false; m_min.cx = i; }
  else if (name == "minheight") { if (!ParseInt(v, i)) return false; m_min.cy = i; }
  else if (name == "maxwidth") { if (!ParseInt(v, i)) return false; m_max.cx = i; }
  else if (name == "maxheight") { if (!ParseInt(v, i)) return false; m_max.cy = i; }
  else if (name == "padding") { if (!ParseInsets(v, in)) return false; SetPadding(in); }
  else if (name == "float") { if (!ParseBool(v, b)) return false; m_float = b; }
  else if (name == "pos") { if (!ParseInsets(v, in)) return false; m_floatPos = in; m_float = true; NeedParentUpdate(); }
  else if (name == "visible") { if (!ParseBool(v, b)) return false; SetVisible(b); }
  else if (name == "enabled") { if (!ParseBool(v, b)) return false; SetEnabled(b); }
  else if (name == "font") { if (!ParseInt(v, i)) return false; SetFont(i); }
  else if (name == "textcolor") { if (!ParseColor(v, c)) return false; SetTextColor(c); }
  else if (name == "disabledtextcolor") { if (!ParseColor(v, c)) return false; m_disabledTextColor = c; }
  else if (name == "hottextcolor") { if (!ParseColor(v, c)) return false; m_hotTextColor = c; }
  else if (name == "align") { HAlign a; if (!ParseHAlign(v, a)) return false; m_align = a; Invalidate(); }
  else if (name == "valign") { VAlign a; if (!ParseVAlign(v, a)) return false; m_valign = a; Invalidate(); }
  else if (name == "textpadding") { if (!ParseInsets(v, in)) return false; m_textPadding = in; }
  else if (name == "multiline") { if (!ParseBool(v, b)) return false; m_multiline = b; }
  else if (name == "bkcolor") { if (!ParseColor(v, c)) return false; SetBkColor(c); }
  else if (name == "bkimage") { if (!v.empty() && !CheckAttrValue(AttrType::Image, v, nullptr)) return false; SetBkImage(wvalue); }
  else if (name == "bordercolor") { if (!ParseColor(v, c)) return false; SetBorderColor(c); }
  else if (name == "focusbordercolor") { if (!ParseColor(v, c)) return false; m_focusBorderColor = c; }
  else if (name == "bordersize") { if (!ParseInsetsOrInt(v, in)) return false; SetBorderSize(in); }
  else if (name == "borderround") { if (!ParseSize(v, sz)) return false; SetBorderRound({sz.cx, sz.cy}); }
  else if (name == "normalimage") m_normalImage = wvalue;
  else if (name == "hotimage") m_hotImage = wvalue;
  else if (name == "pushedimage") m_pushedImage = wvalue;
  else if (name == "focusedimage") m_focusedImage = wvalue;
  else if (name == "disabledimage") m_disabledImage = wvalue;
  else if (name == "outlinecolor") { if (!ParseColor(v, c)) return false; m_outlineColor = c; }
  else if (name == "outlinesize") { if (!ParseInt(v, i)) return false; m_outlineSize = i; }
  else if (name == "glowcolor") { if (!ParseColor(v, c)) return false; m_glowColor = c; }
  else if (name == "glowsize") { if (!ParseInt(v, i)) return false; m_glowSize = i; }
  else if (name == "keyboard") { if (!ParseBool(v, b)) return false; m_keyboard = b; }
  else if (name == "mouse") { if (!ParseBool(v, b)) return false; m_mouse = b; }
  else if (name == "role") {
    if (v == "statictext") m_role = AccRole::StaticText;
    else if (v == "graphic") m_role = AccRole::Graphic;
    else if (v == "none") m_role = AccRole::None;
    else return false;
  } else return false;
  if (name.find("image") != std::string::npos) Invalidate();
  return true;
}

int CControlUI::Scale(int v) const { return m_manager ? m_manager->Scale(v) : v; }

RECT CControlUI::ScaleInsets(const Insets& in) const {
  return {Scale(in.left), Scale(in.top), Scale(in.right), Scale(in.bottom)};
}

SIZE CControlUI::EstimateSize(SIZE) { return {Scale(m_fixed.cx), Scale(m_fixed.cy)}; }

void CControlUI::SetPos(RECT rc) {
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  if (EqualRect(&rc, &m_rcItem)) return;
  Invalidate();
  m_rcItem = rc;
  Invalidate();
}

void CControlUI::Invalidate() {
  if (m_manager && !IsRectEmpty(&m_rcItem)) m_manager->Invalidate(m_rcItem);
}

void CControlUI::NeedUpdate() {
  if (m_manager) m_manager->NeedUpdate();
  Invalidate();
}

void CControlUI::NeedParentUpdate() {
  if (m_manager) {
    m_manager->NeedUpdate();
    if (m_parent) m_parent->Invalidate();
    else m_manager->Invalidate();
  }
}

CControlUI* CControlUI::FindControlAt(POINT pt) {
  if (!m_visible || !PtInRect(&m_rcItem, pt)) return nullptr;
  return this;
}

bool CControlUI::SetTimer(UINT id, UINT elapseMs) { return m_manager && m_manager->SetTimer(this, id, elapseMs); }

void CControlUI::KillTimer(UINT id) {
  if (m_manager) m_manager->KillTimer(this, id);
}

AccRole CControlUI::GetAccRole() const {
  if (m_role == AccRole::None && m_parent && m_parent->IsClass(L"TabLayout") && !m_float) return AccRole::PropertyPage;
  return m_role;
}

std::wstring CControlUI::GetAccName() const { return !m_text.empty() ? m_text : m_tooltip; }

DWORD CControlUI::GetAccState() const {
  DWORD s = 0;
  if (!IsEnabled()) s |= STATE_SYSTEM_UNAVAILABLE;
  if (!IsEffectivelyVisible()) s |= STATE_SYSTEM_INVISIBLE;
  if (IsKeyboardFocusable()) s |= STATE_SYSTEM_FOCUSABLE;
  if (IsFocused()) s |= STATE_SYSTEM_FOCUSED;
  if (m_state & kHot) s |= STATE_SYSTEM_HOTTRACKED;
  if (m_state & kPushed) s |= STATE_SYSTEM_PRESSED;
  return s;
}

void CControlUI::SetStateBits(unsigned bits, bool on) {
  const unsigned old = m_state;
  m_state = on ? (m_state | bits) : (m_state & ~bits);
  if (old != m_state) Invalidate();
}

void CControlUI::DoEvent(TEventUI& e) {
  switch (e.type) {
    case UiEventType::MouseEnter: SetStateBits(kHot, true); break;
    case UiEventType::MouseLeave: SetStateBits(kHot, false); break;
    case UiEventType::ButtonDown: if (IsInteractive() && IsEnabled()) SetStateBits(kPushed, true); break;
    case UiEventType::ButtonUp: {
      const bool wasPushed = (m_state & kPushed) != 0;
      SetStateBits(kPushed, false);
      if (wasPushed && IsEnabled() && PtInRect(&m_rcItem, e.ptMouse)) Activate();
      break;
    }
    case UiEventType::SetFocus: SetStateBits(kFocused, true); break;
    case UiEventType::KillFocus: SetStateBits(kFocused, false); break;
    case UiEventType::Timer:
      if (e.wParam == kAnimationTimer) {
        if (m_animDelays.empty()) break;
        m_animFrame = (m_animFrame + 1) % m_animDelays.size();
        Invalidate();
        SetTimer(kAnimationTimer, static_cast<UINT>(m_animDelays[m_animFrame]));
        break;
      }
      if (m_manager) m_manager->SendNotify(this, L"timer", e.wParam, e.lParam);
      break;
    default: break;
  }
}

void CControlUI::Activate() {
  if (m_manager && IsEnabled() && IsInteractive()) m_manager->SendNotify(this, L"click");
}

void CControlUI::DoPaint(HDC hdc, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, &m_rcItem, &rcPaint)) return;
  PaintBkColor(hdc);
  PaintBkImage(hdc);
  PaintStatusImage(hdc);
  PaintText(hdc);
  PaintBorder(hdc);
  PaintFocusCue(hdc);
}

void CControlUI::PaintBkColor(HDC hdc) {
  if (m_bkColor >> 24) FillColor(hdc, m_rcItem, m_bkColor, {Scale(m_borderRound.cx), Scale(m_borderRound.cy)});
}

void CControlUI::PaintBkImage(HDC hdc) {
  if (!m_bkImage.empty()) DrawImage(hdc, m_bkImage, m_rcItem);
}

void CControlUI::PaintStatusImage(HDC hdc) {
  if (!IsEnabled() && !m_disabledImage.empty()) { DrawImage(hdc, m_disabledImage, m_rcItem); return; }
  if ((m_state & kPushed) && !m_pushedImage.empty()) { DrawImage(hdc, m_pushedImage, m_rcItem); return; }
  if ((m_state & kHot) && !m_hotImage.empty()) { DrawImage(hdc, m_hotImage, m_rcItem); return; }
  if (!m_normalImage.empty()) DrawImage(hdc, m_normalImage, m_rcItem);
  if (IsFocused() && !m_focusedImage.empty()) DrawImage(hdc, m_focusedImage, m_rcItem);
}

uint32_t CControlUI::CurrentTextColor() const {
  if (!IsEnabled()) return m_disabledTextColor ? m_disabledTextColor : 0xFFA0A0A0u;
  if ((m_state & kHot) && m_hotTextColor) return m_hotTextColor;
  return m_textColor ? m_textColor : 0xFF000000u;
}

RECT CControlUI::TextRect() const {
  RECT rc = m_rcItem;
  const RECT p = ScaleInsets(m_textPadding);
  rc.left += p.left;
  rc.top += p.top;
  rc.right -= p.right;
  rc.bottom -= p.bottom;
  return rc;
}

void CControlUI::PaintText(HDC hdc) {
  const std::wstring text = GetText();
  if (text.empty() || !m_manager) {
    m_textCut = false;
    return;
  }
  TextStyle st;
  st.font = m_manager->GetFont(m_font);
  st.color = CurrentTextColor();
  st.align = m_align;
  st.valign = m_valign;
  st.multiline = m_multiline;
  st.outlineColor = m_outlineColor;
  st.outlineSize = Scale(m_outlineSize);
  st.glowColor = m_glowColor;
  st.glowSize = Scale(m_glowSize);
  const RECT rc = TextRect();
  if (HasTextEffects(st) && rc.right > rc.left && rc.bottom > rc.top) {
    wchar_t style[160];
    swprintf(style, 160, L"%d|%d|%p|%08x|%08x|%d|%08x|%d|%d|%d|%d|%ld|%ld|", m_manager->GetDPI(), m_font,
             static_cast<void*>(st.font), st.color, st.outlineColor, st.outlineSize, st.glowColor, st.glowSize,
             static_cast<int>(st.align), static_cast<int>(st.valign), st.multiline ? 1 : 0, rc.right - rc.left,
             rc.bottom - rc.top);
    const std::wstring key = style + text;
    if (key != m_effectText.key) {
      delete m_effectText.image;
      m_effectText.image = nullptr;
      m_effectText.key = key;
      if (HBITMAP bmp = RenderTextEffects(hdc, text, {rc.right - rc.left, rc.bottom - rc.top}, st)) {
        m_effectText.image = new ImageEntry;
        m_effectText.image->width = rc.right - rc.left;
        m_effectText.image->height = rc.bottom - rc.top;
        m_effectText.image->frames.push_back(bmp);
      }
    }
    if (m_effectText.image) {
      RECT clip;
      GetClipBox(hdc, &clip);
      DrawImageEntry(hdc, *m_effectText.image, 0, ImageRef{}, rc, clip, 96);
      m_textCut = false;
      return;
    }
  }
  m_textCut = DrawTextStyled(hdc, text, rc, st);
}

void CControlUI::PaintBorder(HDC hdc) {
  uint32_t color = m_borderColor;
  if (IsFocused() && m_focusBorderColor) color = m_focusBorderColor;
  if (!(color >> 24)) return;
  RECT sizes = ScaleInsets(m_borderSize);
  // A border of one unit stays at least one pixel wide.
  if (m_borderSize.left && !sizes.left) sizes.left = 1;
  if (m_borderSize.top && !sizes.top) sizes.top = 1;
  if (m_borderSize.right && !sizes.right) sizes.right = 1;
  if (m_borderSize.bottom && !sizes.bottom) sizes.bottom = 1;
  if (!sizes.left && !sizes.top && !sizes.right && !sizes.bottom) return;
  DrawBorder(hdc, m_rcItem, color, sizes, {Scale(m_borderRound.cx), Scale(m_borderRound.cy)});
}

void CControlUI::PaintFocusCue(HDC hdc) {
  // The keyboard user sees where the focus is even without a focus image.
  if (!IsFocused() || !m_focusedImage.empty() || m_focusBorderColor) return;
  RECT rc = m_rcItem;
  InflateRect(&rc, -1, -1);
  DrawFocusRect(hdc, rc, 0xFF2060C0);
}

bool CControlUI::DrawImage(HDC hdc, const std::wstring& wref, const RECT& rc) {
  if (!m_manager || wref.empty()) return false;
  ImageRef ref;
  if (!ParseImageRef(Narrow(wref), ref)) return false;
  auto image = CPaintManagerUI::GetImage(ref.file, m_manager->GetDPI());
  if (!image) return false;
  RECT clip;
  GetClipBox(hdc, &clip);
  size_t frame = 0;
  if (image->frames.size() > 1) {
    if (!m_animating && m_manager->GetPaintWindow()) {
      m_animDelays = image->delaysMs;
      m_animating = SetTimer(kAnimationTimer, static_cast<UINT>(m_animDelays[m_animFrame % m_animDelays.size()]));
    }
    frame = m_animFrame % image->frames.size();
  }
  DrawImageEntry(hdc, *image, static_cast<int>(frame), ref, rc, clip, image->dpi);
  return true;
}

void CControlUI::NotifyAccEvent(DWORD event) const {
  if (m_manager) m_manager->NotifyAccEvent(event, this);
}

}  // namespace brixui
