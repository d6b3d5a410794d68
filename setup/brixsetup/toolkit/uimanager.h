#pragma once
// The paint manager: one per skinned window. Holds the control tree, the
// window's DPI, fonts, timers, focus, hover and capture, paints through a
// back buffer (only the invalid rectangle), routes mouse and keyboard to
// the controls and notifications to the window, and serves the window's
// accessibility object. Its static side holds what all windows share: the
// module instance, the skin source (archive or folder) and the decoded
// images.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "layoutdoc.h"
#include "uibase.h"
#include "uicontrol.h"

namespace brixui {

class CContainerUI;
class CAccessibleUI;
struct ImageEntry;

// Rounds a monitor DPI down to 96, 120, 144, 168 or 192; below 96 it
// stays as it is.
int NormaliseDpi(int dpi);
// The DPI of the window's monitor (Shcore's GetDpiForMonitor, else the
// screen's LOGPIXELSX), normalised.
int WindowDpi(HWND hwnd);

// Figures of the last paints, for the benchmark and tests.
struct PaintStats {
  unsigned paints = 0;
  RECT lastPaint{0, 0, 0, 0};
  double lastPaintMs = 0;
  unsigned controlsPainted = 0;  // in the last paint
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  // --- shared by all windows -------------------------------------------
  static void SetInstance(HINSTANCE instance);
  static HINSTANCE GetInstance();
  // The skin archive as bytes that stay valid (a mapped resource); they
  // are not copied. An empty password means none.
  static bool SetResourceZip(const void* data, unsigned size, const wchar_t* password = L"");
  // A skin folder on disk instead (quillskin, designers).
  static bool SetResourceFolder(const std::wstring& folder);
  // An entry of the skin source; false with a report when unreadable.
  static bool LoadSkinFile(const std::string& name, std::vector<uint8_t>& out);
  static bool SkinFileExists(const std::string& name);
  // Runs the message loop until WM_QUIT; returns its exit code.
  static int MessageLoop();
  // Keyboard routing for the loop: true when the message was handled.
  static bool TranslateMessage(const MSG* msg);
  // Releases the shared images and the skin source (after the loop).
  static void Term();
  // Scales every live window to `dpi`.
  static void SetAllDPI(int dpi);
  // Decoded image for (file, dpi, frame count); null when missing/broken.
  static std::shared_ptr<ImageEntry> GetImage(const std::string& file, int dpi);
  static size_t CachedImageCount();

  // --- one window --------------------------------------------------------
  // A null window gives an off-screen manager (layout tests, quillskin).
  void Init(HWND hwnd);
  HWND GetPaintWindow() const { return m_hwnd; }
  bool AttachDialog(CControlUI* root);  // takes ownership
  CControlUI* GetRoot() const { return m_root.get(); }
  void AddNotifier(INotifyUI* notifier);
  void RemoveNotifier(INotifyUI* notifier);
  void AddMessageFilter(IMessageFilterUI* filter);
  void RemoveMessageFilter(IMessageFilterUI* filter);

  CControlUI* FindControl(const std::wstring& name) const;
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const std::wstring& name) const;
  std::vector<CControlUI*> FindSubControlsByClass(CControlUI* parent, const wchar_t* className) const;
  CControlUI* FindControlBySerial(uint32_t serial) const;

  // Window description from the layout, 96-DPI units.
  void SetInitSize(int cx, int cy) { m_initSize = {cx, cy}; }
  SIZE GetInitSize() const { return m_initSize; }
  void SetCaptionRect(const Insets& caption) { m_caption = caption; }
  void SetRoundCorner(SIZE round) { m_roundCorner = round; }
  SIZE GetRoundCorner() const { return m_roundCorner; }
  void SetShadow(int size, uint32_t argb) { m_shadowSize = size; m_shadowColor = argb; }
  int GetShadowSize() const { return m_shadowSize; }
  uint32_t GetShadowColor() const { return m_shadowColor; }
  void SetWindowBkColor(uint32_t argb) { m_windowBk = argb; }
  // Is the client point in the caption area (drags the window)?
  bool IsCaptionPoint(POINT pt) const;

  // DPI: sizes, fonts, images and borders scale with it.
  int GetDPI() const { return m_dpi; }
  void SetDPI(int dpi);
  int Scale(int v) const { return MulDiv(v, m_dpi, 96); }
  // The window's client size at the current DPI.
  SIZE ScaledInitSize() const { return {Scale(m_initSize.cx), Scale(m_initSize.cy)}; }

  // Fonts (from the font file / layout).
  void SetFonts(const std::vector<FontSpec>& fonts);
  HFONT GetFont(int index);
  int GetFontSizeUnits(int index) const;
  const FontSpec* GetFontSpec(int index) const;
  // The face actually used (with the CJK fallback applied).
  std::wstring ResolvedFace(int index);

  // Layout of the whole tree to the client rectangle; done lazily before
  // painting when something asked for it.
  void NeedUpdate() { m_needLayout = true; }
  void LayoutTo(const RECT& client);
  void LayoutIfNeeded();

  void Invalidate(const RECT& rc);
  void Invalidate();
  // Paints the tree into `hdc` (a 32-bit DIB of the client size) for `rc`.
  void PaintTo(HDC hdc, const RECT& rc);
  const PaintStats& Stats() const { return m_stats; }
  // An off-screen rendering of the whole client area, top-down BGRA.
  bool RenderOffscreen(std::vector<uint32_t>& pixels, int& width, int& height);

  // Focus, hover, capture.
  CControlUI* GetFocus() const { return m_focus; }
  void SetFocus(CControlUI* control);
  // Moves the focus to the next (or previous) focusable control in layout
  // order, wrapping around.
  bool MoveFocus(bool forward);
  CControlUI* GetHot() const { return m_hot; }
  std::vector<CControlUI*> FocusOrder() const;

  // Timers per control and id.
  bool SetTimer(CControlUI* control, UINT id, UINT elapseMs);
  void KillTimer(CControlUI* control, UINT id);
  void KillTimers(CControlUI* control);
  size_t TimerCount() const { return m_timers.size(); }

  // Notifications to the window (synchronously).
  void SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0);
  void SendNotify(TNotifyUI& msg);

  // A control leaves the tree: forget every reference to it.
  void ReapObjects(CControlUI* control);
  // Option groups.
  std::vector<CControlUI*> GroupMembers(const std::wstring& group) const;

  // Screen readers: the controls in the order the accessibility object
  // numbers them (child id = index + 1); -1 when not listed.
  std::vector<CControlUI*> AccessibleControls() const;
  int AccessibleChildId(const CControlUI* control) const;
  void NotifyAccEvent(DWORD event, const CControlUI* control) const;
  // Runs a control's default action from the message loop (safe to ask
  // for from inside a screen reader's call).
  void PostActivate(CControlUI* control);

  // The message handler; true when the message was handled.
  bool MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Keyboard from the message loop (Tab, Esc, Space, Enter).
  bool HandleKey(const MSG* msg);
  // Esc: the window's close request; set by WindowImplBase.
  void SetEscapeHandler(void (*handler)(void*), void* context) { m_escape = handler; m_escapeContext = context; }

  // Text measurement and drawing DC shared by layout code.
  HDC MeasureDC();

 private:
  struct Timer {
    CControlUI* control;
    UINT id;
    UINT nativeId;
    UINT elapse;
  };
  void OnPaint();
  void OnMouseMove(POINT pt);
  void SetHot(CControlUI* control);
  void ClearFonts();
  void SyncNativeChildren();
  void UpdateToolTip(CControlUI* control);
  void EnsureBackBuffer(int cx, int cy);

  HWND m_hwnd = nullptr;
  std::unique_ptr<CControlUI> m_root;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_filters;
  SIZE m_initSize{0, 0};
  Insets m_caption;
  SIZE m_roundCorner{0, 0};
  int m_shadowSize = 0;
  uint32_t m_shadowColor = 0x40000000;
  uint32_t m_windowBk = 0xFFFFFFFF;
  int m_dpi = 96;
  bool m_needLayout = true;
  RECT m_layoutRect{0, 0, 0, 0};

  std::vector<FontSpec> m_fontSpecs;
  std::vector<std::pair<int, HFONT>> m_fonts;  // index -> font at m_dpi
  HFONT m_defaultFont = nullptr;

  CControlUI* m_focus = nullptr;
  CControlUI* m_hot = nullptr;
  CControlUI* m_pushed = nullptr;
  std::vector<Timer> m_timers;
  UINT m_nextTimerId = 0x1000;
  bool m_trackingMouse = false;

  HDC m_memDC = nullptr;
  HBITMAP m_backBitmap = nullptr;
  HGDIOBJ m_oldBitmap = nullptr;
  SIZE m_backSize{0, 0};
  HDC m_measureDC = nullptr;
  HWND m_tooltip = nullptr;
  CControlUI* m_tooltipFor = nullptr;
  PaintStats m_stats;

  void (*m_escape)(void*) = nullptr;
  void* m_escapeContext = nullptr;
  CAccessibleUI* m_accessible = nullptr;  // COM object, released in the destructor
};

}  // namespace brixui
