#include "uiwindow.h"

#include <algorithm>

#include "trace.h"
#include "uibuilder.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uishadow.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace brixui {

// --- CWindowWnd -----------------------------------------------------------------

CWindowWnd::~CWindowWnd() {
  if (m_hWnd && IsWindow(m_hWnd)) {
    // The object goes first: the window must not call into it any more.
    SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
    DestroyWindow(m_hWnd);
  }
}

bool CWindowWnd::RegisterWindowClass() {
  HINSTANCE instance = CPaintManagerUI::GetInstance();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(instance, WindowClassName(), &wc)) return true;
  wc.style = GetClassStyle();
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = WindowClassName();
  if (RegisterClassExW(&wc)) return true;
  return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::Create(HWND parent, LPCWSTR name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                        HMENU menu) {
  if (!RegisterWindowClass()) {
    BRIX_TRACE_FAILURE(L"RegisterClassEx failed.");
    return nullptr;
  }
  m_hWnd = CreateWindowExW(exStyle, WindowClassName(), name ? name : L"", style, x, y, cx, cy, parent, menu,
                           CPaintManagerUI::GetInstance(), this);
  return m_hWnd;
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (m_hWnd) ::ShowWindow(m_hWnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

void CWindowWnd::Close(UINT result) {
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_CLOSE, static_cast<WPARAM>(result), 0);
}

void CWindowWnd::CenterWindow() {
  if (!m_hWnd) return;
  RECT rc, area;
  GetWindowRect(m_hWnd, &rc);
  HWND owner = GetWindow(m_hWnd, GW_OWNER);
  if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    area = mi.rcWork;
  }
  const int w = rc.right - rc.left, h = rc.bottom - rc.top;
  int x = area.left + (area.right - area.left - w) / 2;
  int y = area.top + (area.bottom - area.top - h) / 2;
  if (x < area.left) x = area.left;
  if (y < area.top) y = area.top;
  SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::SetIcon(UINT resourceId) {
  if (!m_hWnd) return;
  HINSTANCE instance = CPaintManagerUI::GetInstance();
  HICON big = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR | LR_SHARED));
  HICON small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(resourceId), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR | LR_SHARED));
  if (big) ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  if (small) ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

LRESULT CWindowWnd::SendMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::SendMessageW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::PostMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(m_hWnd, msg, wParam, lParam);
}

LRESULT CWindowWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CWindowWnd* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    const LRESULT r = self->HandleMessage(msg, wParam, lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
    self->OnFinalMessage(hwnd);
    return r;
  }
  return self->HandleMessage(msg, wParam, lParam);
}

// --- CNotifyPump ------------------------------------------------------------------

void CNotifyPump::MapNotify(const wchar_t* type, const wchar_t* controlName, Handler handler) {
  m_entries.push_back({type ? type : L"", controlName ? controlName : L"", std::move(handler)});
}

bool CNotifyPump::LoopDispatch(TNotifyUI& msg) {
  for (const auto& e : m_entries) {
    if (e.type != msg.sType) continue;
    if (!e.name.empty() && (!msg.pSender || msg.pSender->GetName() != e.name)) continue;
    const Handler h = e.handler;  // the handler may map more entries
    h(msg);
    return true;
  }
  return false;
}

// --- WindowImplBase -----------------------------------------------------------------

namespace {
// Esc arrives inside the message loop's key routing; the close request runs
// from the window's own queue.
constexpr UINT kMsgEscape = WM_APP + 0x3A2;
void EscapeThunk(void* self) { static_cast<WindowImplBase*>(self)->PostMessage(kMsgEscape); }
}  // namespace

WindowImplBase::WindowImplBase() {}

WindowImplBase::~WindowImplBase() { delete m_shadow; }

void WindowImplBase::Notify(TNotifyUI& msg) {
  if (LoopDispatch(msg)) return;
  if (msg.sType == L"click" && msg.pSender && msg.pSender->GetName() == L"minbtn") {
    SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
    return;
  }
  if (msg.sType == L"timer") OnTimerNotify(msg);
}

LRESULT WindowImplBase::MessageHandler(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnDestroyWindow(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

LRESULT WindowImplBase::OnCustomMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return 0;
}

void WindowImplBase::OnSkinFailure(const std::wstring& reason) {
  const std::wstring text = L"The window's skin could not be built:\r\n\r\n" + reason;
  BRIX_TRACE(L"ui: skin failed: %ls\r\n", reason.c_str());
  MessageBoxW(nullptr, text.c_str(), L"Skin error", MB_OK | MB_ICONERROR | MB_TOPMOST);
  ExitProcess(0);
}

void WindowImplBase::OnEscape() {
  for (const wchar_t* name : {L"BtnClose", L"closebtn"}) {
    CControlUI* c = m_pm.FindControl(name);
    if (c && c->IsEnabled() && c->IsEffectivelyVisible() && c->IsInteractive()) {
      c->Activate();
      return;
    }
  }
  PostMessage(WM_CLOSE);
}

LRESULT WindowImplBase::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  return OnWindowMessage(msg, wParam, lParam);
}

void WindowImplBase::RebuildShadow() {
  delete m_shadow;
  m_shadow = nullptr;
  m_shadowDpi = m_pm.GetDPI();
  if (m_pm.GetShadowSize() <= 0 || !m_hWnd) return;
  m_shadow = new CShadowUI(m_hWnd, m_pm.Scale(m_pm.GetShadowSize()), m_pm.GetShadowColor(),
                           {m_pm.Scale(m_pm.GetRoundCorner().cx), m_pm.Scale(m_pm.GetRoundCorner().cy)});
}

void WindowImplBase::UpdateFrame() {
  if (!m_hWnd) return;
  if (m_shadow && m_shadowDpi != m_pm.GetDPI()) RebuildShadow();
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  const SIZE round = m_pm.GetRoundCorner();
  if (round.cx > 0 || round.cy > 0) {
    HRGN rgn = CreateRoundRectRgn(0, 0, rc.right - rc.left + 1, rc.bottom - rc.top + 1, m_pm.Scale(round.cx),
                                  m_pm.Scale(round.cy));
    SetWindowRgn(m_hWnd, rgn, TRUE);  // the system owns the region now
  }
  if (m_shadow) m_shadow->Update();
}

LRESULT WindowImplBase::OnCreate() {
  // Whatever frame the creator asked for, the skin draws the whole window.
  LONG style = GetWindowLongW(m_hWnd, GWL_STYLE);
  style &= ~(WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_MAXIMIZEBOX);
  style |= WS_CLIPCHILDREN;
  SetWindowLongW(m_hWnd, GWL_STYLE, style);
  LONG ex = GetWindowLongW(m_hWnd, GWL_EXSTYLE);
  ex &= ~(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME | WS_EX_STATICEDGE);
  SetWindowLongW(m_hWnd, GWL_EXSTYLE, ex);

  m_pm.Init(m_hWnd);
  m_pm.AddNotifier(this);
  m_pm.AddMessageFilter(this);
  m_pm.SetEscapeHandler(EscapeThunk, this);
  m_pm.SetDPI(WindowDpi(m_hWnd));

  CDialogBuilder builder;
  CControlUI* root = builder.Create(SkinFile(), this, &m_pm, this);
  if (!root) {
    OnSkinFailure(builder.LastError());
    return -1;
  }
  m_pm.AttachDialog(root);
  const SIZE sz = m_pm.ScaledInitSize();
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOMOVE;
  RECT rc;
  GetWindowRect(m_hWnd, &rc);
  if (sz.cx > 0 && sz.cy > 0) SetWindowPos(m_hWnd, nullptr, 0, 0, sz.cx, sz.cy, flags);
  else SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0, flags | SWP_NOSIZE);
  RebuildShadow();
  UpdateFrame();
  OnInitWindow();
  return 0;
}

LRESULT WindowImplBase::OnNcHitTest(LPARAM lParam) {
  POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
  ScreenToClient(m_hWnd, &pt);
  if (m_pm.IsCaptionPoint(pt)) {
    CControlUI* c = m_pm.FindControl(pt);
    // Controls in the caption (the caption buttons) still take the mouse.
    while (c && !c->IsInteractive() && !dynamic_cast<CRichEditUI*>(c)) c = c->GetParent();
    if (!c) return HTCAPTION;
  }
  return HTCLIENT;
}

LRESULT WindowImplBase::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  bool handled = false;
  LRESULT result = 0;
  switch (msg) {
    case WM_CREATE:
      return OnCreate();
    case WM_NCCALCSIZE:
      if (wParam) return 0;  // no frame: the client area is the window
      break;
    case WM_NCPAINT:
      return 0;
    case WM_NCACTIVATE:
      return IsIconic(m_hWnd) ? DefWindowProcW(m_hWnd, msg, wParam, lParam) : TRUE;
    case WM_NCHITTEST:
      return OnNcHitTest(lParam);
    case WM_GETMINMAXINFO: {
      // The skin decides the size, even beyond the screen at high scales.
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lParam);
      const SIZE sz = m_pm.ScaledInitSize();
      mmi->ptMaxTrackSize.x = std::max<LONG>(mmi->ptMaxTrackSize.x, sz.cx);
      mmi->ptMaxTrackSize.y = std::max<LONG>(mmi->ptMaxTrackSize.y, sz.cy);
      return 0;
    }
    case WM_DESTROY:
      result = OnDestroyWindow(msg, wParam, lParam, handled);
      if (handled) return result;
      delete m_shadow;
      m_shadow = nullptr;
      break;
    case WM_SIZE:
    case WM_WINDOWPOSCHANGED:
    case WM_SHOWWINDOW:
      if (msg == WM_SIZE) UpdateFrame();
      else if (m_shadow) m_shadow->Update();
      break;
    case kMsgEscape:
      OnEscape();
      return 0;
    case WM_DPICHANGED:
      m_pm.MessageHandler(msg, wParam, lParam, result);
      UpdateFrame();
      return 0;
    default:
      break;
  }
  if (msg != WM_DESTROY && msg != WM_CREATE) {
    result = OnCustomMessage(msg, wParam, lParam, handled);
    if (handled) return result;
  }
  if (m_pm.MessageHandler(msg, wParam, lParam, result)) return result;
  return DefWindowProcW(m_hWnd, msg, wParam, lParam);
}

}  // namespace brixui
