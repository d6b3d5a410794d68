#pragma once
// The plain control: geometry in 96-DPI units (scaled by its paint
// manager), text and colours, background and border, state images, timers,
// and the measure-then-arrange pair EstimateSize/SetPos.
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "attrvalue.h"
#include "uibase.h"

namespace brixui {

class CContainerUI;
struct ImageEntry;

// Roles answered to screen readers (the MSAA ROLE_SYSTEM_* values).
enum class AccRole { None = 0, StaticText = 0x29, PushButton = 0x2B, CheckButton = 0x2C, RadioButton = 0x2D,
                     EditableText = 0x2A, ProgressBar = 0x30, PageTabList = 0x3C, PropertyPage = 0x26,
                     Graphic = 0x28 };

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // Class names: "Control", "Label", "Button", ... IsClass also answers for
  // the classes a control derives from ("Button" is a "Label").
  virtual const wchar_t* GetClass() const { return L"Control"; }
  virtual bool IsClass(const wchar_t* name) const;

  const std::wstring& GetName() const { return m_name; }
  void SetName(const std::wstring& name) { m_name = name; }
  CPaintManagerUI* GetManager() const { return m_manager; }
  virtual void SetManager(CPaintManagerUI* manager, CContainerUI* parent);
  CContainerUI* GetParent() const { return m_parent; }
  // Unique for the process; lets posted work find the control again.
  uint32_t GetSerial() const { return m_serial; }

  // Text. SetText notifies screen readers of the name change.
  virtual std::wstring GetText() const { return m_text; }
  virtual void SetText(const std::wstring& text);
  const std::wstring& GetToolTip() const { return m_tooltip; }
  void SetToolTip(const std::wstring& text) { m_tooltip = text; }
  // The explicit tooltip, or the whole text when it is shown cut.
  std::wstring EffectiveToolTip() const;
  const std::wstring& GetUserData() const { return m_userData; }
  void SetUserData(const std::wstring& data) { m_userData = data; }
  int GetTag() const { return m_tag; }
  void SetTag(int tag) { m_tag = tag; }

  virtual bool IsVisible() const { return m_visible; }
  virtual void SetVisible(bool visible = true);
  // Visible itself and every container up to the root shows it.
  bool IsEffectivelyVisible() const;
  virtual bool IsEnabled() const { return m_enabled; }
  virtual void SetEnabled(bool enabled = true);
  bool IsFocused() const;
  virtual void SetFocus();
  // Takes keyboard focus in Tab order.
  virtual bool IsKeyboardFocusable() const { return m_keyboard && IsEnabled(); }
  bool IsMouseEnabled() const { return m_mouse; }
  bool IsFloat() const { return m_float; }

  void SetBkImage(const std::wstring& image);
  std::wstring GetBkImage() const { return m_bkImage; }
  void SetBkColor(uint32_t argb) { m_bkColor = argb; Invalidate(); }
  void SetTextColor(uint32_t argb) { m_textColor = argb; Invalidate(); }
  void SetBorderColor(uint32_t argb) { m_borderColor = argb; Invalidate(); }
  void SetBorderSize(const Insets& sizes) { m_borderSize = sizes; Invalidate(); }
  void SetBorderRound(SIZE round) { m_borderRound = round; Invalidate(); }
  void SetFont(int index) { m_font = index; NeedParentUpdate(); }
  void SetHAlign(HAlign align) { m_align = align; Invalidate(); }
  void SetVAlign(VAlign align) { m_valign = align; Invalidate(); }
  uint32_t GetTextColor() const { return m_textColor; }
  int GetFont() const { return m_font; }

  // Sizes in 96-DPI units; 0 means "take a share of what is left".
  int GetFixedWidth() const { return m_fixed.cx; }
  int GetFixedHeight() const { return m_fixed.cy; }
  void SetFixedWidth(int cx) { m_fixed.cx = cx; NeedParentUpdate(); }
  void SetFixedHeight(int cy) { m_fixed.cy = cy; NeedParentUpdate(); }
  const Insets& GetPadding() const { return m_padding; }
  void SetPadding(const Insets& p) { m_padding = p; NeedParentUpdate(); }
  SIZE GetMinSize() const { return m_min; }
  SIZE GetMaxSize() const { return m_max; }

  // Attributes by layout name and value, as the layout reader checked them.
  // False for an unknown attribute or a value that does not parse.
  virtual bool SetAttribute(const std::wstring& name, const std::wstring& value);

  // Layout: EstimateSize answers in device pixels what the control wants
  // of `available` (0 for a side it leaves to the container); SetPos places
  // it (device pixels, client coordinates).
  virtual SIZE EstimateSize(SIZE available);
  virtual void SetPos(RECT rc);
  const RECT& GetPos() const { return m_rcItem; }
  // Float position relative to the parent's rectangle, 96-DPI units.
  const Insets& GetFloatPos() const { return m_floatPos; }

  virtual void DoPaint(HDC hdc, const RECT& rcPaint);
  virtual void DoEvent(TEventUI& event);
  // What a click does (also the keyboard's Space/Enter and the screen
  // reader's default action).
  virtual void Activate();
  virtual bool IsInteractive() const { return false; }

  void Invalidate();
  void NeedUpdate();        // this control's layout changed
  void NeedParentUpdate();  // its size changed: the parent lays out again

  virtual CControlUI* FindControlAt(POINT pt);

  // Timers (ids per control); each expiry sends a "timer" notification.
  bool SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  // Screen readers.
  virtual AccRole GetAccRole() const;
  virtual std::wstring GetAccName() const;
  virtual std::wstring GetAccValue() const { return L""; }
  virtual DWORD GetAccState() const;  // STATE_SYSTEM_* bits
  virtual std::wstring GetAccDefaultAction() const { return L""; }

  // Hot / pushed state flags the manager sets.
  enum : unsigned { kHot = 1, kPushed = 2, kFocused = 4, kCaptured = 8 };
  unsigned GetState() const { return m_state; }
  void SetStateBits(unsigned bits, bool on);

 protected:
  int Scale(int v) const;
  RECT ScaleInsets(const Insets& in) const;
  void PaintBkColor(HDC hdc);
  void PaintBkImage(HDC hdc);
  virtual void PaintStatusImage(HDC hdc);
  virtual void PaintText(HDC hdc);
  void PaintBorder(HDC hdc);
  void PaintFocusCue(HDC hdc);
  // Draws an image reference into `rc`; false when it could not be drawn.
  bool DrawImage(HDC hdc, const std::wstring& ref, const RECT& rc);
  virtual RECT TextRect() const;
  virtual uint32_t CurrentTextColor() const;
  void NotifyAccEvent(DWORD event) const;

  CPaintManagerUI* m_manager = nullptr;
  CContainerUI* m_parent = nullptr;
  uint32_t m_serial;
  std::wstring m_name, m_text, m_tooltip, m_userData;
  int m_tag = 0;
  bool m_visible = true, m_enabled = true, m_float = false, m_keyboard = false, m_mouse = true;
  bool m_multiline = false;
  bool m_textCut = false;  // last paint had to shorten the text
  Size2 m_fixed;
  SIZE m_min{0, 0}, m_max{100000, 100000};
  Insets m_padding, m_floatPos, m_textPadding, m_borderSize;
  RECT m_rcItem{0, 0, 0, 0};
  int m_font = -1;
  uint32_t m_textColor = 0, m_disabledTextColor = 0, m_hotTextColor = 0;
  uint32_t m_bkColor = 0, m_borderColor = 0, m_focusBorderColor = 0;
  uint32_t m_outlineColor = 0, m_glowColor = 0;
  int m_outlineSize = 0, m_glowSize = 0;
  SIZE m_borderRound{0, 0};
  HAlign m_align = HAlign::Left;
  VAlign m_valign = VAlign::Center;
  std::wstring m_bkImage, m_normalImage, m_hotImage, m_pushedImage, m_focusedImage, m_disabledImage;
  AccRole m_role = AccRole::None;  // from the "role" attribute
  unsigned m_state = 0;
  // Animated images (WebP) play on a timer of the control's own.
  static constexpr UINT kAnimationTimer = 0x7FFF0A11;
  size_t m_animFrame = 0;
  bool m_animating = false;
  std::vector<int> m_animDelays;
  // Text drawn with outline or glow, kept until text, style or size change.
  struct EffectText {
    std::wstring key;
    ImageEntry* image = nullptr;
  } m_effectText;
};

// The control's class, or null: CDlgInstall keeps only controls of the
// class it expects.
template <class T>
T* ControlCast(CControlUI* c) {
  return dynamic_cast<T*>(c);
}

}  // namespace brixui
