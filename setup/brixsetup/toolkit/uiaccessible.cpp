#include "uiaccessible.h"

#include <string>

#include "uicontainer.h"
#include "uimanager.h"

namespace brixui {

// {618736E0-3C3D-11CF-810C-00AA00389B71}
const IID IID_IAccessible_UI = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

namespace {

const IID kIIDUnknown = {0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kIIDDispatch = {0x00020400, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

HRESULT Text(const std::wstring& s, BSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (s.empty()) return S_FALSE;
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring WindowTitle(HWND hwnd) {
  wchar_t buf[512] = L"";
  if (hwnd) GetWindowTextW(hwnd, buf, 512);
  return buf;
}

}  // namespace

HRESULT CAccessibleUI::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(riid, kIIDUnknown) || IsEqualIID(riid, kIIDDispatch) || IsEqualIID(riid, IID_IAccessible_UI)) {
    *out = static_cast<IAccessible*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG CAccessibleUI::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG CAccessibleUI::Release() {
  const LONG n = InterlockedDecrement(&m_refs);
  if (n == 0) delete this;
  return static_cast<ULONG>(n);
}

HRESULT CAccessibleUI::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return S_OK;
}
HRESULT CAccessibleUI::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT CAccessibleUI::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT CAccessibleUI::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

CControlUI* CAccessibleUI::Child(const VARIANT& v, HRESULT& hr, bool& self) const {
  self = false;
  if (!m_manager) {
    hr = RPC_E_DISCONNECTED;
    return nullptr;
  }
  if (v.vt != VT_I4) {
    hr = E_INVALIDARG;
    return nullptr;
  }
  if (v.lVal == CHILDID_SELF) {
    self = true;
    hr = S_OK;
    return nullptr;
  }
  const auto list = m_manager->AccessibleControls();
  if (v.lVal < 1 || v.lVal > static_cast<long>(list.size())) {
    hr = E_INVALIDARG;
    return nullptr;
  }
  hr = S_OK;
  return list[static_cast<size_t>(v.lVal - 1)];
}

HRESULT CAccessibleUI::get_accParent(IDispatch** parent) {
  if (!parent) return E_POINTER;
  *parent = nullptr;
  if (!m_manager || !m_manager->GetPaintWindow()) return S_FALSE;
  return AccessibleObjectFromWindow(m_manager->GetPaintWindow(), static_cast<DWORD>(OBJID_WINDOW), kIIDDispatch,
                                    reinterpret_cast<void**>(parent));
}

HRESULT CAccessibleUI::get_accChildCount(long* count) {
  if (!count) return E_POINTER;
  if (!m_manager) return RPC_E_DISCONNECTED;
  *count = static_cast<long>(m_manager->AccessibleControls().size());
  return S_OK;
}

HRESULT CAccessibleUI::get_accChild(VARIANT child, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  HRESULT hr;
  bool self;
  Child(child, hr, self);
  return FAILED(hr) ? hr : S_FALSE;  // children are simple elements
}

HRESULT CAccessibleUI::get_accName(VARIANT child, BSTR* name) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  return Text(self ? WindowTitle(m_manager->GetPaintWindow()) : c->GetAccName(), name);
}

HRESULT CAccessibleUI::get_accValue(VARIANT child, BSTR* value) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  return Text(self ? std::wstring() : c->GetAccValue(), value);
}

HRESULT CAccessibleUI::get_accDescription(VARIANT child, BSTR* text) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  return Text(self ? std::wstring() : c->GetToolTip(), text);
}

HRESULT CAccessibleUI::get_accRole(VARIANT child, VARIANT* role) {
  if (!role) return E_POINTER;
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  role->vt = VT_I4;
  role->lVal = self ? ROLE_SYSTEM_CLIENT : static_cast<long>(c->GetAccRole());
  return S_OK;
}

HRESULT CAccessibleUI::get_accState(VARIANT child, VARIANT* state) {
  if (!state) return E_POINTER;
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  state->vt = VT_I4;
  if (self) {
    HWND w = m_manager->GetPaintWindow();
    state->lVal = STATE_SYSTEM_FOCUSABLE | (w && GetForegroundWindow() == w ? STATE_SYSTEM_FOCUSED : 0) |
                  (w && !IsWindowVisible(w) ? STATE_SYSTEM_INVISIBLE : 0);
  } else {
    state->lVal = static_cast<long>(c->GetAccState());
  }
  return S_OK;
}

HRESULT CAccessibleUI::get_accHelp(VARIANT, BSTR* help) { return Text(L"", help); }
HRESULT CAccessibleUI::get_accHelpTopic(BSTR* file, VARIANT, long* topic) {
  if (file) *file = nullptr;
  if (topic) *topic = 0;
  return S_FALSE;
}
HRESULT CAccessibleUI::get_accKeyboardShortcut(VARIANT, BSTR* shortcut) { return Text(L"", shortcut); }

HRESULT CAccessibleUI::get_accFocus(VARIANT* child) {
  if (!child) return E_POINTER;
  if (!m_manager) return RPC_E_DISCONNECTED;
  VariantInit(child);
  const int id = m_manager->AccessibleChildId(m_manager->GetFocus());
  if (id > 0) {
    child->vt = VT_I4;
    child->lVal = id;
  }
  return S_OK;
}

HRESULT CAccessibleUI::get_accSelection(VARIANT* children) {
  if (!children) return E_POINTER;
  VariantInit(children);
  return S_FALSE;
}

HRESULT CAccessibleUI::get_accDefaultAction(VARIANT child, BSTR* action) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  return Text(self ? std::wstring() : c->GetAccDefaultAction(), action);
}

HRESULT CAccessibleUI::accSelect(long flags, VARIANT child) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  if (self || !(flags & SELFLAG_TAKEFOCUS)) return S_FALSE;
  if (!c->IsKeyboardFocusable() || !c->IsEffectivelyVisible()) return S_FALSE;
  c->SetFocus();
  return S_OK;
}

HRESULT CAccessibleUI::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
  if (!left || !top || !width || !height) return E_POINTER;
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  HWND w = m_manager->GetPaintWindow();
  RECT rc{0, 0, 0, 0};
  if (self) {
    if (w) GetClientRect(w, &rc);
  } else if (c->IsEffectivelyVisible()) {
    m_manager->LayoutIfNeeded();
    rc = c->GetPos();
  }
  POINT tl{rc.left, rc.top};
  if (w) ClientToScreen(w, &tl);
  *left = tl.x;
  *top = tl.y;
  *width = rc.right - rc.left;
  *height = rc.bottom - rc.top;
  return S_OK;
}

HRESULT CAccessibleUI::accNavigate(long, VARIANT, VARIANT* end) {
  if (end) VariantInit(end);
  return E_NOTIMPL;
}

HRESULT CAccessibleUI::accHitTest(long x, long y, VARIANT* child) {
  if (!child) return E_POINTER;
  if (!m_manager) return RPC_E_DISCONNECTED;
  VariantInit(child);
  HWND w = m_manager->GetPaintWindow();
  POINT pt{x, y};
  if (w) ScreenToClient(w, &pt);
  RECT client{0, 0, 0, 0};
  if (w) GetClientRect(w, &client);
  if (!PtInRect(&client, pt)) return S_FALSE;
  child->vt = VT_I4;
  child->lVal = CHILDID_SELF;
  for (CControlUI* c = m_manager->FindControl(pt); c; c = c->GetParent()) {
    const int id = m_manager->AccessibleChildId(c);
    if (id > 0) {
      child->lVal = id;
      break;
    }
  }
  return S_OK;
}

HRESULT CAccessibleUI::accDoDefaultAction(VARIANT child) {
  HRESULT hr;
  bool self;
  CControlUI* c = Child(child, hr, self);
  if (FAILED(hr)) return hr;
  if (self) return DISP_E_MEMBERNOTFOUND;
  if (!c->IsEnabled() || !c->IsEffectivelyVisible()) return DISP_E_MEMBERNOTFOUND;
  // Run from the message loop: the action may open a message box, which
  // must not block the screen reader's call.
  m_manager->PostActivate(c);
  return S_OK;
}

HRESULT CAccessibleUI::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
HRESULT CAccessibleUI::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

}  // namespace brixui
