#include "uimanager.h"

#include <commctrl.h>
#include <oleacc.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <set>

#include "skinarchive.h"
#include "strconv.h"
#include "uiaccessible.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uidiag.h"
#include "uirender.h"

namespace brixui {
namespace {

// Posted to run a control's default action from the message loop.
constexpr UINT kMsgActivate = WM_APP + 0x3A1;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

struct Shared {
  HINSTANCE instance = nullptr;
  SkinArchive archive;
  bool haveArchive = false;
  std::wstring folder;
  std::map<std::pair<std::string, int>, std::shared_ptr<ImageEntry>> images;
  std::set<std::pair<std::string, int>> missing;
  std::vector<CPaintManagerUI*> managers;
  std::map<std::wstring, bool> faces;
};

Shared& S() {
  static Shared shared;
  return shared;
}

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  const size_t n = strlen(suffix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[s.size() - n + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM lp) {
  *reinterpret_cast<bool*>(lp) = true;
  return 0;
}

bool FaceInstalled(const std::wstring& face) {
  auto& faces = S().faces;
  const auto it = faces.find(face);
  if (it != faces.end()) return it->second;
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  faces[face] = found;
  return found;
}

// The face asked for, else a CJK-capable one: Microsoft YaHei on Windows,
// WenQuanYi Micro Hei under Wine.
std::wstring ResolveFace(const std::wstring& face) {
  if (!face.empty() && FaceInstalled(face)) return face;
  for (const wchar_t* f : {L"Microsoft YaHei", L"\x5FAE\x8F6F\x96C5\x9ED1", L"WenQuanYi Micro Hei", L"Tahoma"})
    if (FaceInstalled(f)) return f;
  return L"Tahoma";
}

typedef HRESULT(WINAPI* GetDpiForMonitorFn)(HMONITOR, int, UINT*, UINT*);

}  // namespace

int NormaliseDpi(int dpi) {
  if (dpi < 96) return dpi > 0 ? dpi : 96;
  int best = 96;
  for (int d : kSkinDpis)
    if (d <= dpi) best = d;
  return best;
}

int WindowDpi(HWND hwnd) {
  UINT x = 0, y = 0;
  HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  if (shcore) {
    auto fn = reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    if (fn) fn(MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY), 0 /*MDT_EFFECTIVE_DPI*/, &x, &y);
    FreeLibrary(shcore);
  }
  if (x == 0) {
    HDC dc = GetDC(nullptr);
    x = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
    ReleaseDC(nullptr, dc);
  }
  return NormaliseDpi(static_cast<int>(x));
}

// --- shared ---------------------------------------------------------------

void CPaintManagerUI::SetInstance(HINSTANCE instance) { S().instance = instance; }

HINSTANCE CPaintManagerUI::GetInstance() {
  return S().instance ? S().instance : GetModuleHandleW(nullptr);
}

bool CPaintManagerUI::SetResourceZip(const void* data, unsigned size, const wchar_t* password) {
  Shared& s = S();
  s.images.clear();
  s.missing.clear();
  s.folder.clear();
  s.haveArchive = s.archive.Open(data, size, brix::WideToUtf8(password ? password : L""), "skin archive");
  return s.haveArchive;
}

bool CPaintManagerUI::SetResourceFolder(const std::wstring& folder) {
  Shared& s = S();
  s.images.clear();
  s.missing.clear();
  s.haveArchive = false;
  s.folder = folder;
  const DWORD attr = GetFileAttributesW(folder.c_str());
  if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) {
    Diag(brix::WideToUtf8(folder), "skin folder not found");
    return false;
  }
  return true;
}

namespace {

bool FolderPath(const std::string& name, std::wstring& path) {
  const std::string key = NormaliseEntryName(name);
  if (key.empty() || key.find("..") != std::string::npos || key.find(':') != std::string::npos) return false;
  path = S().folder + L"\\" + brix::Utf8ToWide(name);
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return true;
}

}  // namespace

bool CPaintManagerUI::SkinFileExists(const std::string& name) {
  Shared& s = S();
  if (s.haveArchive) return s.archive.Contains(name);
  std::wstring path;
  if (s.folder.empty() || !FolderPath(name, path)) return false;
  const DWORD attr = GetFileAttributesW(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool CPaintManagerUI::LoadSkinFile(const std::string& name, std::vector<uint8_t>& out) {
  Shared& s = S();
  out.clear();
  if (s.haveArchive) return s.archive.Read(name, out);
  std::wstring path;
  if (s.folder.empty()) {
    Diag(name, "no skin archive or folder was given");
    return false;
  }
  if (!FolderPath(name, path)) {
    Diag(name, "not a name inside the skin folder");
    return false;
  }
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    Diag(name, "no such file in the skin folder");
    return false;
  }
  LARGE_INTEGER size{};
  GetFileSizeEx(f, &size);
  if (static_cast<uint64_t>(size.QuadPart) > SkinArchive::kMaxEntryBytes) {
    CloseHandle(f);
    Diag(name, "file is over the entry limit (refused)");
    return false;
  }
  out.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  const BOOL ok = out.empty() || ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
  CloseHandle(f);
  if (!ok || got != out.size()) {
    out.clear();
    Diag(name, "could not be read");
    return false;
  }
  return true;
}

std::shared_ptr<ImageEntry> CPaintManagerUI::GetImage(const std::string& file, int dpi) {
  Shared& s = S();
  const auto key = std::make_pair(NormaliseEntryName(file), dpi);
  const auto it = s.images.find(key);
  if (it != s.images.end()) return it->second;
  if (s.missing.count(key)) return nullptr;

  auto entry = std::make_shared<ImageEntry>();
  entry->dpi = dpi;
  std::vector<uint8_t> bytes;
  bool ok = false;
  if (EndsWithNoCase(file, ".svg")) {
    RgbaImage img;
    ok = LoadSkinFile(file, bytes) && RasteriseSvg(file, bytes.data(), bytes.size(), dpi / 96.0, img);
    if (ok) {
      entry->width = img.width;
      entry->height = img.height;
      entry->frames.push_back(RgbaToDib(img, &entry->opaque));
    }
  } else {
    std::string chosen;
    int chosenDpi = 0;
    for (const auto& c : ScaledImageCandidates(file, dpi)) {
      if (SkinFileExists(c.first)) {
        chosen = c.first;
        chosenDpi = c.second;
        break;
      }
    }
    if (chosen.empty()) {
      Diag(file, "image not found in the skin (at any scale)");
    } else {
      DecodedImage decoded;
      ok = LoadSkinFile(chosen, bytes) && DecodeImage(chosen, bytes.data(), bytes.size(), decoded);
      if (ok) {
        bool opaque = true;
        for (auto& frame : decoded.frames) {
          if (chosenDpi != dpi) {
            const int w = std::max(1, (frame.width * dpi + chosenDpi / 2) / chosenDpi);
            const int h = std::max(1, (frame.height * dpi + chosenDpi / 2) / chosenDpi);
            frame = Resample(frame, w, h);
          }
          entry->width = frame.width;
          entry->height = frame.height;
          bool frameOpaque = false;
          entry->frames.push_back(RgbaToDib(frame, &frameOpaque));
          opaque = opaque && frameOpaque;
        }
        entry->opaque = opaque;
        entry->delaysMs = decoded.delaysMs;
      }
    }
  }
  if (!ok || entry->frames.empty() || !entry->frames[0]) {
    s.missing.insert(key);
    return nullptr;
  }
  s.images[key] = entry;
  return entry;
}

size_t CPaintManagerUI::CachedImageCount() { return S().images.size(); }

void CPaintManagerUI::Term() {
  Shared& s = S();
  s.images.clear();
  s.missing.clear();
  s.haveArchive = false;
  s.folder.clear();
}

void CPaintManagerUI::SetAllDPI(int dpi) {
  const auto managers = S().managers;
  for (CPaintManagerUI* m : managers) m->SetDPI(dpi);
}

bool CPaintManagerUI::TranslateMessage(const MSG* msg) {
  if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) return false;
  for (CPaintManagerUI* m : S().managers) {
    HWND w = m->m_hwnd;
    if (w && (msg->hwnd == w || IsChild(w, msg->hwnd))) return m->HandleKey(msg);
  }
  return false;
}

int CPaintManagerUI::MessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (TranslateMessage(&msg)) continue;
    ::TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

// --- one window ---------------------------------------------------------------

CPaintManagerUI::CPaintManagerUI() { S().managers.push_back(this); }

CPaintManagerUI::~CPaintManagerUI() {
  auto& v = S().managers;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  if (m_accessible) {
    m_accessible->Disconnect();
    m_accessible->Release();
    m_accessible = nullptr;
  }
  for (const auto& t : m_timers)
    if (m_hwnd) ::KillTimer(m_hwnd, t.nativeId);
  m_timers.clear();
  m_root.reset();
  ClearFonts();
  if (m_memDC) {
    SelectObject(m_memDC, m_oldBitmap);
    DeleteDC(m_memDC);
  }
  if (m_backBitmap) DeleteObject(m_backBitmap);
  if (m_measureDC) DeleteDC(m_measureDC);
  if (m_tooltip) DestroyWindow(m_tooltip);
}

void CPaintManagerUI::Init(HWND hwnd) {
  m_hwnd = hwnd;
  if (hwnd) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
  }
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (!root) return false;
  m_focus = m_hot = m_pushed = nullptr;
  m_root.reset(root);
  root->SetManager(this, nullptr);
  m_needLayout = true;
  Invalidate();
  return true;
}

void CPaintManagerUI::AddNotifier(INotifyUI* n) {
  if (n && std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) m_notifiers.push_back(n);
}
void CPaintManagerUI::RemoveNotifier(INotifyUI* n) {
  m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), n), m_notifiers.end());
}
void CPaintManagerUI::AddMessageFilter(IMessageFilterUI* f) {
  if (f && std::find(m_filters.begin(), m_filters.end(), f) == m_filters.end()) m_filters.push_back(f);
}
void CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* f) {
  m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), f), m_filters.end());
}

CControlUI* CPaintManagerUI::FindControl(const std::wstring& name) const {
  if (!m_root || name.empty()) return nullptr;
  if (m_root->GetName() == name) return m_root.get();
  auto* c = dynamic_cast<CContainerUI*>(m_root.get());
  return c ? c->FindSubControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  const_cast<CPaintManagerUI*>(this)->LayoutIfNeeded();
  return m_root ? m_root->FindControlAt(pt) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::wstring& name) const {
  auto* c = dynamic_cast<CContainerUI*>(parent);
  return c ? c->FindSubControl(name) : nullptr;
}

std::vector<CControlUI*> CPaintManagerUI::FindSubControlsByClass(CControlUI* parent, const wchar_t* className) const {
  auto* c = dynamic_cast<CContainerUI*>(parent);
  return c ? c->FindSubControlsByClass(className) : std::vector<CControlUI*>();
}

CControlUI* CPaintManagerUI::FindControlBySerial(uint32_t serial) const {
  if (!m_root) return nullptr;
  if (m_root->GetSerial() == serial) return m_root.get();
  CControlUI* found = nullptr;
  if (auto* c = dynamic_cast<CContainerUI*>(m_root.get()))
    c->ForEachDescendant([&](CControlUI* x) {
      if (x->GetSerial() == serial) found = x;
    });
  return found;
}

bool CPaintManagerUI::IsCaptionPoint(POINT pt) const {
  RECT client{0, 0, 0, 0};
  if (m_hwnd) GetClientRect(m_hwnd, &client);
  else client = {0, 0, ScaledInitSize().cx, ScaledInitSize().cy};
  RECT cap{client.left + Scale(m_caption.left), client.top + Scale(m_caption.top),
           client.right - Scale(m_caption.right), client.top + Scale(m_caption.bottom)};
  return PtInRect(&cap, pt) != FALSE;
}

void CPaintManagerUI::SetDPI(int dpi) {
  if (dpi <= 0) dpi = 96;
  if (dpi == m_dpi) return;
  m_dpi = dpi;
  ClearFonts();
  m_needLayout = true;
  if (m_hwnd && m_initSize.cx > 0 && m_initSize.cy > 0) {
    const SIZE sz = ScaledInitSize();
    SetWindowPos(m_hwnd, nullptr, 0, 0, sz.cx, sz.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  Invalidate();
}

void CPaintManagerUI::SetFonts(const std::vector<FontSpec>& fonts) {
  m_fontSpecs = fonts;
  ClearFonts();
  m_needLayout = true;
}

const FontSpec* CPaintManagerUI::GetFontSpec(int index) const {
  for (const auto& f : m_fontSpecs)
    if (f.id == index) return &f;
  for (const auto& f : m_fontSpecs)
    if (f.isDefault) return &f;
  return m_fontSpecs.empty() ? nullptr : &m_fontSpecs.front();
}

int CPaintManagerUI::GetFontSizeUnits(int index) const {
  const FontSpec* f = GetFontSpec(index);
  return f ? f->size : 12;
}

std::wstring CPaintManagerUI::ResolvedFace(int index) {
  const FontSpec* f = GetFontSpec(index);
  return ResolveFace(f ? brix::Utf8ToWide(f->face) : L"");
}

HFONT CPaintManagerUI::GetFont(int index) {
  for (const auto& p : m_fonts)
    if (p.first == index) return p.second;
  const FontSpec* f = GetFontSpec(index);
  FontSpec def;
  if (!f) f = &def;
  const std::wstring face = ResolveFace(brix::Utf8ToWide(f->face));
  HFONT font = CreateFontW(-Scale(f->size), 0, 0, 0, f->bold ? FW_BOLD : FW_NORMAL, f->italic, f->underline, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  m_fonts.emplace_back(index, font);
  return font;
}

void CPaintManagerUI::ClearFonts() {
  for (auto& p : m_fonts)
    if (p.second != GetStockObject(DEFAULT_GUI_FONT)) DeleteObject(p.second);
  m_fonts.clear();
}

HDC CPaintManagerUI::MeasureDC() {
  if (!m_measureDC) m_measureDC = CreateCompatibleDC(nullptr);
  return m_measureDC;
}

void CPaintManagerUI::LayoutTo(const RECT& client) {
  m_needLayout = false;
  m_layoutRect = client;
  if (!m_root) return;
  m_root->SetPos(client);
  SyncNativeChildren();
}

void CPaintManagerUI::LayoutIfNeeded() {
  if (!m_needLayout) return;
  RECT client{0, 0, ScaledInitSize().cx, ScaledInitSize().cy};
  if (m_hwnd) GetClientRect(m_hwnd, &client);
  LayoutTo(client);
}

void CPaintManagerUI::SyncNativeChildren() {
  auto* c = dynamic_cast<CContainerUI*>(m_root.get());
  if (!c || !m_hwnd) return;
  c->ForEachDescendant([](CControlUI* x) {
    if (auto* e = dynamic_cast<CRichEditUI*>(x)) e->SyncNative();
  });
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (m_hwnd) InvalidateRect(m_hwnd, &rc, FALSE);
}

void CPaintManagerUI::Invalidate() {
  if (m_hwnd) InvalidateRect(m_hwnd, nullptr, FALSE);
}

void CPaintManagerUI::EnsureBackBuffer(int cx, int cy) {
  if (m_memDC && m_backSize.cx == cx && m_backSize.cy == cy) return;
  if (!m_memDC) m_memDC = CreateCompatibleDC(nullptr);
  if (m_backBitmap) {
    SelectObject(m_memDC, m_oldBitmap);
    DeleteObject(m_backBitmap);
  }
  m_backBitmap = CreateDib32(std::max(1, cx), std::max(1, cy), nullptr);
  m_oldBitmap = SelectObject(m_memDC, m_backBitmap);
  m_backSize = {cx, cy};
}

void CPaintManagerUI::PaintTo(HDC hdc, const RECT& rc) {
  LayoutIfNeeded();
  const int saved = SaveDC(hdc);
  IntersectClipRect(hdc, rc.left, rc.top, rc.right, rc.bottom);
  FillColor(hdc, rc, m_windowBk | 0xFF000000u);
  if (m_root) m_root->DoPaint(hdc, rc);
  RestoreDC(hdc, saved);
}

void CPaintManagerUI::OnPaint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(m_hwnd, &ps);
  const auto start = std::chrono::steady_clock::now();
  RECT client;
  GetClientRect(m_hwnd, &client);
  LayoutIfNeeded();
  EnsureBackBuffer(client.right, client.bottom);
  RECT rc = ps.rcPaint;
  if (!IsRectEmpty(&rc)) {
    PaintTo(m_memDC, rc);
    BitBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, m_memDC, rc.left, rc.top, SRCCOPY);
  }
  EndPaint(m_hwnd, &ps);
  ++m_stats.paints;
  m_stats.lastPaint = rc;
  m_stats.lastPaintMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

bool CPaintManagerUI::RenderOffscreen(std::vector<uint32_t>& pixels, int& width, int& height) {
  RECT client{0, 0, ScaledInitSize().cx, ScaledInitSize().cy};
  if (m_hwnd) GetClientRect(m_hwnd, &client);
  if (!m_hwnd) LayoutTo(client);
  width = client.right;
  height = client.bottom;
  if (width <= 0 || height <= 0) return false;
  void* bits = nullptr;
  HBITMAP bmp = CreateDib32(width, height, &bits);
  if (!bmp) return false;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bmp);
  PaintTo(dc, client);
  GdiFlush();
  pixels.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + static_cast<size_t>(width) * height);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bmp);
  return true;
}

// --- focus, hover -------------------------------------------------------------

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_focus) {
    if (auto* e = dynamic_cast<CRichEditUI*>(control))
      if (e->GetNativeWindow() && ::GetFocus() != e->GetNativeWindow())
        ::SetFocus(e->GetNativeWindow());
    return;
  }
  CControlUI* old = m_focus;
  m_focus = control;
  if (old) {
    TEventUI e;
    e.type = UiEventType::KillFocus;
    old->DoEvent(e);
    SendNotify(old, L"killfocus");
  }
  if (m_focus != control) return;  // a handler moved it on
  if (control) {
    TEventUI e;
    e.type = UiEventType::SetFocus;
    control->DoEvent(e);
    auto* edit = dynamic_cast<CRichEditUI*>(control);
    if (m_hwnd) {
      if (edit && edit->GetNativeWindow()) {
        if (::GetFocus() != edit->GetNativeWindow()) ::SetFocus(edit->GetNativeWindow());
      } else if (::GetFocus() != m_hwnd) {
        ::SetFocus(m_hwnd);
      }
    }
    NotifyAccEvent(EVENT_OBJECT_FOCUS, control);
    SendNotify(control, L"setfocus");
  } else if (m_hwnd && GetForegroundWindow() == m_hwnd) {
    ::SetFocus(m_hwnd);
  }
}

std::vector<CControlUI*> CPaintManagerUI::FocusOrder() const {
  std::vector<CControlUI*> out;
  auto* c = dynamic_cast<CContainerUI*>(m_root.get());
  if (!c) return out;
  c->ForEachDescendant([&](CControlUI* x) {
    if (x->IsKeyboardFocusable() && x->IsEffectivelyVisible()) out.push_back(x);
  });
  return out;
}

bool CPaintManagerUI::MoveFocus(bool forward) {
  LayoutIfNeeded();
  const auto order = FocusOrder();
  if (order.empty()) return false;
  const auto it = std::find(order.begin(), order.end(), m_focus);
  size_t next;
  if (it == order.end()) next = forward ? 0 : order.size() - 1;
  else {
    const size_t i = static_cast<size_t>(it - order.begin());
    next = forward ? (i + 1) % order.size() : (i + order.size() - 1) % order.size();
  }
  SetFocus(order[next]);
  return true;
}

void CPaintManagerUI::SetHot(CControlUI* control) {
  if (control == m_hot) return;
  CControlUI* old = m_hot;
  m_hot = control;
  if (old) {
    TEventUI e;
    e.type = UiEventType::MouseLeave;
    old->DoEvent(e);
  }
  if (m_hot == control && control) {
    TEventUI e;
    e.type = UiEventType::MouseEnter;
    control->DoEvent(e);
  }
  UpdateToolTip(m_hot);
}

void CPaintManagerUI::UpdateToolTip(CControlUI* control) {
  if (!m_hwnd) return;
  if (!m_tooltip) {
    m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                GetInstance(), nullptr);
    if (!m_tooltip) return;
    SendMessageW(m_tooltip, TTM_SETMAXTIPWIDTH, 0, Scale(400));
  }
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.hwnd = m_hwnd;
  ti.uId = 1;
  if (m_tooltipFor) SendMessageW(m_tooltip, TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&ti));
  m_tooltipFor = nullptr;
  if (!control) return;
  std::wstring text = control->EffectiveToolTip();
  if (text.empty()) return;
  ti.uFlags = TTF_SUBCLASS;
  ti.rect = control->GetPos();
  ti.lpszText = &text[0];
  SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
  m_tooltipFor = control;
}

// --- timers, notifications -------------------------------------------------------

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapseMs) {
  if (!m_hwnd || !control) return false;
  for (auto& t : m_timers) {
    if (t.control == control && t.id == id) {
      t.elapse = elapseMs;
      return ::SetTimer(m_hwnd, t.nativeId, elapseMs, nullptr) != 0;
    }
  }
  const UINT native = m_nextTimerId++;
  if (!::SetTimer(m_hwnd, native, elapseMs, nullptr)) return false;
  m_timers.push_back({control, id, native, elapseMs});
  return true;
}

void CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (m_hwnd) ::KillTimer(m_hwnd, it->nativeId);
      m_timers.erase(it);
      return;
    }
  }
}

void CPaintManagerUI::KillTimers(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->control == control) {
      if (m_hwnd) ::KillTimer(m_hwnd, it->nativeId);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

void CPaintManagerUI::SendNotify(CControlUI* control, const wchar_t* type, WPARAM wParam, LPARAM lParam) {
  TNotifyUI msg;
  msg.sType = type;
  msg.pSender = control;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg) {
  msg.dwTimestamp = GetTickCount();
  if (m_hwnd) {
    GetCursorPos(&msg.ptMouse);
    ScreenToClient(m_hwnd, &msg.ptMouse);
  }
  const auto notifiers = m_notifiers;  // a handler may add or remove one
  for (INotifyUI* n : notifiers) {
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) == m_notifiers.end()) continue;
    n->Notify(msg);
  }
}

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  if (m_focus == control) m_focus = nullptr;
  if (m_hot == control) m_hot = nullptr;
  if (m_pushed == control) {
    m_pushed = nullptr;
    if (m_hwnd && GetCapture() == m_hwnd) ReleaseCapture();
  }
  if (m_tooltipFor == control) UpdateToolTip(nullptr);
  KillTimers(control);
}

std::vector<CControlUI*> CPaintManagerUI::GroupMembers(const std::wstring& group) const {
  std::vector<CControlUI*> out;
  auto* c = dynamic_cast<CContainerUI*>(m_root.get());
  if (!c || group.empty()) return out;
  c->ForEachDescendant([&](CControlUI* x) {
    auto* o = dynamic_cast<COptionUI*>(x);
    if (o && o->GetGroup() == group) out.push_back(o);
  });
  return out;
}

// --- screen readers ---------------------------------------------------------------

std::vector<CControlUI*> CPaintManagerUI::AccessibleControls() const {
  std::vector<CControlUI*> out;
  if (!m_root) return out;
  if (m_root->GetAccRole() != AccRole::None) out.push_back(m_root.get());
  if (auto* c = dynamic_cast<CContainerUI*>(m_root.get()))
    c->ForEachDescendant([&](CControlUI* x) {
      if (x->GetAccRole() != AccRole::None) out.push_back(x);
    });
  return out;
}

int CPaintManagerUI::AccessibleChildId(const CControlUI* control) const {
  const auto list = AccessibleControls();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == control) return static_cast<int>(i) + 1;
  return -1;
}

void CPaintManagerUI::NotifyAccEvent(DWORD event, const CControlUI* control) const {
  if (!m_hwnd || !control) return;
  const int id = AccessibleChildId(control);
  if (id > 0) NotifyWinEvent(event, m_hwnd, OBJID_CLIENT, id);
}

void CPaintManagerUI::PostActivate(CControlUI* control) {
  if (m_hwnd && control) PostMessageW(m_hwnd, kMsgActivate, control->GetSerial(), 0);
}

// --- messages -----------------------------------------------------------------------

bool CPaintManagerUI::HandleKey(const MSG* msg) {
  if (msg->message != WM_KEYDOWN) return false;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  switch (msg->wParam) {
    case VK_TAB:
      if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
      MoveFocus(!shift);
      return true;
    case VK_ESCAPE:
      if (m_escape) {
        m_escape(m_escapeContext);
        return true;
      }
      return false;
    case VK_SPACE:
    case VK_RETURN: {
      CControlUI* f = m_focus;
      if (!f || dynamic_cast<CRichEditUI*>(f) || !f->IsInteractive() || !f->IsEnabled()) return false;
      f->Activate();
      return true;
    }
    default:
      return false;
  }
}

void CPaintManagerUI::OnMouseMove(POINT pt) {
  if (!m_trackingMouse) {
    TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, m_hwnd, 0};
    m_trackingMouse = TrackMouseEvent(&tme) != FALSE;
  }
  CControlUI* hit = FindControl(pt);
  while (hit && (!hit->IsMouseEnabled() || !hit->IsEnabled())) hit = hit->GetParent();
  if (m_pushed) {
    // While pressed, only the pressed control shows pushed, and only while
    // the pointer is over it.
    m_pushed->SetStateBits(CControlUI::kPushed, hit == m_pushed);
    SetHot(hit == m_pushed ? hit : nullptr);
    return;
  }
  SetHot(hit);
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  result = 0;
  for (IMessageFilterUI* f : std::vector<IMessageFilterUI*>(m_filters)) {
    bool handled = false;
    const LRESULT r = f->MessageHandler(msg, wp, lp, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  switch (msg) {
    case WM_PAINT:
      OnPaint();
      return true;
    case WM_PRINTCLIENT: {
      RECT client;
      GetClientRect(m_hwnd, &client);
      PaintTo(reinterpret_cast<HDC>(wp), client);
      return true;
    }
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_SIZE:
      m_needLayout = true;
      Invalidate();
      return false;
    case WM_MOUSEMOVE:
      OnMouseMove({static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return false;
    case WM_MOUSELEAVE:
      m_trackingMouse = false;
      if (!m_pushed) SetHot(nullptr);
      return false;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      const POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      CControlUI* hit = FindControl(pt);
      while (hit && (!hit->IsMouseEnabled() || !hit->IsEnabled())) hit = hit->GetParent();
      if (!hit) return false;
      if (hit->IsKeyboardFocusable()) SetFocus(hit);
      if (!hit->IsInteractive()) return false;
      m_pushed = hit;
      SetCapture(m_hwnd);
      TEventUI e;
      e.type = UiEventType::ButtonDown;
      e.ptMouse = pt;
      hit->DoEvent(e);
      return true;
    }
    case WM_LBUTTONUP: {
      if (!m_pushed) return false;
      CControlUI* c = m_pushed;
      m_pushed = nullptr;
      if (GetCapture() == m_hwnd) ReleaseCapture();
      TEventUI e;
      e.type = UiEventType::ButtonUp;
      e.ptMouse = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
      c->DoEvent(e);
      return true;
    }
    case WM_CAPTURECHANGED:
      if (m_pushed && reinterpret_cast<HWND>(lp) != m_hwnd) {
        m_pushed->SetStateBits(CControlUI::kPushed, false);
        m_pushed = nullptr;
      }
      return false;
    case WM_TIMER: {
      for (const auto& t : m_timers) {
        if (t.nativeId != wp) continue;
        CControlUI* c = t.control;
        TEventUI e;
        e.type = UiEventType::Timer;
        e.wParam = t.id;
        e.timestamp = GetTickCount();
        c->DoEvent(e);  // may change m_timers: do not touch `t` after this
        return true;
      }
      return false;
    }
    case WM_COMMAND: {
      HWND child = reinterpret_cast<HWND>(lp);
      if (!child) return false;
      const uint32_t serial = static_cast<uint32_t>(GetWindowLongPtrW(child, GWLP_USERDATA));
      auto* edit = dynamic_cast<CRichEditUI*>(FindControlBySerial(serial));
      if (!edit) return false;
      if (HIWORD(wp) == EN_CHANGE) edit->OnNativeChange();
      else if (HIWORD(wp) == EN_SETFOCUS && m_focus != edit) SetFocus(edit);
      return true;
    }
    case WM_GETOBJECT:
      if (static_cast<LONG>(lp) == static_cast<LONG>(OBJID_CLIENT)) {
        if (!m_accessible) m_accessible = new CAccessibleUI(this);
        result = LresultFromObject(IID_IAccessible_UI, wp, static_cast<IAccessible*>(m_accessible));
        return true;
      }
      return false;
    case kMsgActivate: {
      CControlUI* c = FindControlBySerial(static_cast<uint32_t>(wp));
      if (c && c->IsEnabled() && c->IsEffectivelyVisible()) {
        if (dynamic_cast<CRichEditUI*>(c)) c->SetFocus();
        else c->Activate();
      }
      return true;
    }
    case WM_DPICHANGED: {
      const int dpi = NormaliseDpi(LOWORD(wp));
      const RECT* suggested = reinterpret_cast<const RECT*>(lp);
      SetDPI(dpi);
      if (suggested) {
        SetWindowPos(m_hwnd, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace brixui
