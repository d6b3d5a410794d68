#include "uidriver.h"

#include <algorithm>

// GDI+ wants min/max, which NOMINMAX hides.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace harness {
namespace {

// With MinGW, &IID_IAccessible from the import library is a thunk.
const IID kIIDAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

VARIANT Child(long id) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = id;
  return v;
}

std::wstring TakeBstr(BSTR b) {
  std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
  SysFreeString(b);
  return s;
}

struct FindData {
  std::wstring cls, title;
  HWND found = nullptr;
};

BOOL CALLBACK FindTop(HWND w, LPARAM lp) {
  auto* d = reinterpret_cast<FindData*>(lp);
  wchar_t buf[256];
  if (!IsWindowVisible(w) || !GetClassNameW(w, buf, 256) || d->cls != buf) return TRUE;
  if (!d->title.empty()) {
    GetWindowTextW(w, buf, 256);
    if (d->title != buf) return TRUE;
  }
  d->found = w;
  return FALSE;
}

void MouseButton(DWORD flag) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flag;
  SendInput(1, &in, sizeof in);
}

}  // namespace

std::wstring RoleName(long role) {
  switch (role) {
    case ROLE_SYSTEM_PUSHBUTTON: return L"push button";
    case ROLE_SYSTEM_CHECKBUTTON: return L"check button";
    case ROLE_SYSTEM_RADIOBUTTON: return L"radio button";
    case ROLE_SYSTEM_TEXT: return L"editable text";
    case ROLE_SYSTEM_PROGRESSBAR: return L"progress bar";
    case ROLE_SYSTEM_STATICTEXT: return L"static text";
    case ROLE_SYSTEM_PAGETABLIST: return L"page tab list";
    case ROLE_SYSTEM_PROPERTYPAGE: return L"property page";
    case ROLE_SYSTEM_GRAPHIC: return L"graphic";
    case ROLE_SYSTEM_CLIENT: return L"client";
    default: return L"role " + std::to_wstring(role);
  }
}

std::wstring StateText(long s) {
  std::wstring t;
  auto add = [&](long bit, const wchar_t* name) {
    if (s & bit) t += (t.empty() ? L"" : L" ") + std::wstring(name);
  };
  add(STATE_SYSTEM_CHECKED, L"checked");
  add(STATE_SYSTEM_UNAVAILABLE, L"unavailable");
  add(STATE_SYSTEM_FOCUSED, L"focused");
  add(STATE_SYSTEM_INVISIBLE, L"invisible");
  add(STATE_SYSTEM_PRESSED, L"pressed");
  return t;
}

HWND UiDriver::WaitForWindow(const std::wstring& className, const std::wstring& title, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    FindData d{className, title};
    EnumWindows(FindTop, reinterpret_cast<LPARAM>(&d));
    if (d.found) return d.found;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return nullptr;
}

UiDriver::UiDriver(HWND window) : hwnd_(window) {
  if (FAILED(AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIIDAccessible,
                                        reinterpret_cast<void**>(&acc_))))
    acc_ = nullptr;
}

UiDriver::~UiDriver() {
  if (acc_) acc_->Release();
}

std::vector<UiElement> UiDriver::List() {
  std::vector<UiElement> out;
  if (!acc_) return out;
  long count = 0;
  if (FAILED(acc_->get_accChildCount(&count))) return out;
  for (long id = 1; id <= count; ++id) {
    UiElement e;
    e.childId = id;
    const VARIANT v = Child(id);
    BSTR b = nullptr;
    if (acc_->get_accName(v, &b) == S_OK) e.name = TakeBstr(b);
    b = nullptr;
    if (acc_->get_accValue(v, &b) == S_OK) e.value = TakeBstr(b);
    VARIANT r;
    VariantInit(&r);
    if (SUCCEEDED(acc_->get_accRole(v, &r)) && r.vt == VT_I4) e.role = r.lVal;
    VariantInit(&r);
    if (SUCCEEDED(acc_->get_accState(v, &r)) && r.vt == VT_I4) e.state = r.lVal;
    long l = 0, t = 0, w = 0, h = 0;
    if (SUCCEEDED(acc_->accLocation(&l, &t, &w, &h, v))) e.location = {l, t, l + w, t + h};
    out.push_back(e);
  }
  return out;
}

bool UiDriver::Find(const std::wstring& name, UiElement& out) {
  const auto list = List();
  for (int pass = 0; pass < 2; ++pass)
    for (const auto& e : list)
      if (e.name == name && (pass == 1 || e.visible())) {
        out = e;
        return true;
      }
  return false;
}

bool UiDriver::WaitFor(const std::function<bool(const std::vector<UiElement>&)>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  do {
    if (done(List())) return true;
    Sleep(50);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

bool UiDriver::WaitForElement(const std::wstring& name, long stateBits, DWORD timeoutMs) {
  return WaitFor(
      [&](const std::vector<UiElement>& list) {
        for (const auto& e : list)
          if (e.name == name && e.visible() && (e.state & stateBits) == stateBits) return true;
        return false;
      },
      timeoutMs);
}

bool UiDriver::Click(const std::wstring& name) {
  UiElement e;
  if (!Find(name, e) || !e.visible()) return false;
  SetCursorPos((e.location.left + e.location.right) / 2, (e.location.top + e.location.bottom) / 2);
  Sleep(30);
  MouseButton(MOUSEEVENTF_LEFTDOWN);
  Sleep(30);
  MouseButton(MOUSEEVENTF_LEFTUP);
  return true;
}

void UiDriver::Key(WORD vk, bool shift) {
  SendKey(vk, shift);
  Sleep(30);
}

void SendKey(WORD vk, bool shift) {
  std::vector<INPUT> in;
  auto add = [&](WORD k, bool up) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    in.push_back(i);
  };
  if (shift) add(VK_SHIFT, false);
  add(vk, false);
  add(vk, true);
  if (shift) add(VK_SHIFT, true);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

bool UiDriver::PressByKeyboard(const std::wstring& name) {
  UiElement e;
  if (!acc_ || !Find(name, e)) return false;
  SetForegroundWindow(hwnd_);
  if (acc_->accSelect(SELFLAG_TAKEFOCUS, Child(e.childId)) != S_OK) return false;
  Key(VK_SPACE);
  return true;
}

bool UiDriver::DoDefaultAction(const std::wstring& name) {
  UiElement e;
  return acc_ && Find(name, e) && SUCCEEDED(acc_->accDoDefaultAction(Child(e.childId)));
}

bool UiDriver::Type(const std::wstring& name, const std::wstring& text) {
  if (!Click(name)) return false;
  Sleep(100);
  return TypeText(text);
}

bool UiDriver::ReplaceText(const std::wstring& name, const std::wstring& text) {
  if (!Click(name)) return false;
  Sleep(100);
  Key(VK_END);
  Key(VK_HOME, true);
  return TypeText(text);
}

bool UiDriver::TypeText(const std::wstring& text) {
  std::vector<INPUT> in;
  for (wchar_t c : text) {
    for (bool up : {false, true}) {
      INPUT i{};
      i.type = INPUT_KEYBOARD;
      i.ki.wScan = c;
      i.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      in.push_back(i);
    }
  }
  return SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)) == in.size();
}

bool UiDriver::Capture(std::vector<uint32_t>& pixels, int& width, int& height) {
  RECT rc;
  if (!GetWindowRect(hwnd_, &rc)) return false;
  width = rc.right - rc.left;
  height = rc.bottom - rc.top;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC mem = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, width, height, screen, rc.left, rc.top, SRCCOPY);
  GdiFlush();
  pixels.assign(static_cast<uint32_t*>(bits), static_cast<uint32_t*>(bits) + static_cast<size_t>(width) * height);
  for (auto& p : pixels) p &= 0xFFFFFF;
  SelectObject(mem, old);
  DeleteDC(mem);
  DeleteObject(bmp);
  ReleaseDC(nullptr, screen);
  return true;
}

bool UiDriver::SaveScreenshot(const std::wstring& pngPath) {
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  if (!Capture(px, w, h)) return false;
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  bool ok = false;
  {
    Gdiplus::Bitmap bmp(w, h, w * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(px.data()));
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<BYTE> buf(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buf.data());
    Gdiplus::GetImageEncoders(count, size, codecs);
    for (UINT i = 0; i < count; ++i)
      if (wcscmp(codecs[i].MimeType, L"image/png") == 0) ok = bmp.Save(pngPath.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
  }
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

}  // namespace harness
