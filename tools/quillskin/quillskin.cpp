// quillskin: renders a skin folder or ZIP the way the installer's window
// draws it, at any DPI, with any tab item shown; lists the controls with
// their scaled rectangles; or shows the skin as a live window.
//
//   quillskin list   <skin> [options]
//   quillskin render <skin> --out <file.png> [options]
//   quillskin show   <skin> [options]
//
// options: --dpi <n> (default 96), --select <TabName>=<index> (repeatable),
//          --layout <entry> (default Layout/Layout.xml), --password <text>,
//          --title <text> (show: the window title)
//
// Exit code 0 on success, 1 when the skin gives no window, 2 for a bad
// command line.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "brixui.h"
#include "comsession.h"
#include "strconv.h"
#include "trace.h"
#include "uidiag.h"
#include "uigdiplus.h"

using namespace brixui;

namespace {

void Print(const std::wstring& text) {
  const std::string bytes = brix::WideToUtf8(text);
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

struct Options {
  std::wstring command, skin, out, layout = L"Layout/Layout.xml", password, title = L"quillskin";
  int dpi = 96;
  std::vector<std::pair<std::wstring, int>> selects;
};

int Usage() {
  Print(L"usage: quillskin list|render|show <skin folder or zip> [--out file.png] [--dpi n]\n"
        L"       [--select Tab=index]... [--layout Layout/Layout.xml] [--password text] [--title text]\n");
  return 2;
}

bool Parse(int argc, wchar_t** argv, Options& o) {
  if (argc < 3) return false;
  o.command = argv[1];
  o.skin = argv[2];
  for (int i = 3; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (i + 1 >= argc) return false;
    const std::wstring v = argv[++i];
    if (a == L"--out") o.out = v;
    else if (a == L"--dpi") o.dpi = _wtoi(v.c_str());
    else if (a == L"--layout") o.layout = v;
    else if (a == L"--password") o.password = v;
    else if (a == L"--title") o.title = v;
    else if (a == L"--select") {
      const size_t eq = v.find(L'=');
      if (eq == std::wstring::npos) return false;
      o.selects.emplace_back(v.substr(0, eq), _wtoi(v.c_str() + eq + 1));
    } else {
      return false;
    }
  }
  if (o.dpi < 48 || o.dpi > 480) return false;
  return o.command == L"list" || o.command == L"show" || (o.command == L"render" && !o.out.empty());
}

bool OpenSkin(const Options& o) {
  const DWORD attr = GetFileAttributesW(o.skin.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) return CPaintManagerUI::SetResourceFolder(o.skin);
  // The archive stays in memory for the whole run, as a resource would.
  static std::vector<char> bytes;
  HANDLE f = CreateFileW(o.skin.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    Print(L"quillskin: cannot open " + o.skin + L"\n");
    return false;
  }
  LARGE_INTEGER size{};
  GetFileSizeEx(f, &size);
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  const BOOL ok = bytes.empty() || ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(f);
  if (!ok || got != bytes.size()) return false;
  return CPaintManagerUI::SetResourceZip(bytes.data(), static_cast<unsigned>(bytes.size()), o.password.c_str());
}

void ApplySelects(CPaintManagerUI& pm, const Options& o) {
  for (const auto& s : o.selects) {
    auto* tab = ControlCast<CTabLayoutUI>(pm.FindControl(s.first));
    if (!tab || !tab->SelectItem(s.second, false)) Print(L"quillskin: no tab item " + s.first + L"=" + std::to_wstring(s.second) + L"\n");
  }
}

void ListControls(CControlUI* c, int depth) {
  const RECT& r = c->GetPos();
  wchar_t line[256];
  swprintf(line, 256, L"%*ls%ls %ls [%ld,%ld,%ld,%ld]%ls", depth * 2, L"", c->GetClass(),
           c->GetName().empty() ? L"-" : c->GetName().c_str(), r.left, r.top, r.right, r.bottom,
           c->IsEffectivelyVisible() ? L"" : L" hidden");
  std::wstring text = line;
  if (!c->GetText().empty()) text += L" \"" + c->GetText() + L"\"";
  Print(text + L"\n");
  if (auto* box = dynamic_cast<CContainerUI*>(c))
    for (int i = 0; i < box->GetCount(); ++i) ListControls(box->GetItemAt(i), depth + 1);
}

bool SavePng(const std::wstring& path, const std::vector<uint32_t>& px, int w, int h) {
  Gdiplus::Bitmap bmp(w, h, w * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(const_cast<uint32_t*>(px.data())));
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  std::vector<BYTE> buf(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buf.data());
  Gdiplus::GetImageEncoders(count, size, codecs);
  for (UINT i = 0; i < count; ++i)
    if (wcscmp(codecs[i].MimeType, L"image/png") == 0) return bmp.Save(path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
  return false;
}

int Offscreen(const Options& o) {
  CPaintManagerUI pm;
  CDialogBuilder builder;
  CControlUI* root = builder.Create(o.layout, nullptr, &pm);
  if (!root) {
    Print(L"quillskin: the skin gives no window: " + builder.LastError() + L"\n");
    return 1;
  }
  pm.SetDPI(o.dpi);
  pm.AttachDialog(root);
  ApplySelects(pm, o);
  std::vector<uint32_t> px;
  int w = 0, h = 0;
  if (!pm.RenderOffscreen(px, w, h)) {
    Print(L"quillskin: the window has no size (set size=\"w,h\" on <Window>)\n");
    return 1;
  }
  if (o.command == L"list") {
    Print(L"window " + std::to_wstring(w) + L"x" + std::to_wstring(h) + L" at " + std::to_wstring(o.dpi) + L" DPI\n");
    ListControls(root, 0);
    return 0;
  }
  if (!SavePng(o.out, px, w, h)) {
    Print(L"quillskin: cannot write " + o.out + L"\n");
    return 1;
  }
  Print(L"quillskin: wrote " + o.out + L" (" + std::to_wstring(w) + L"x" + std::to_wstring(h) + L")\n");
  return 0;
}

// The live preview: every notification is traced and printed; the close
// button (or Esc) ends it.
class PreviewWindow : public WindowImplBase {
 public:
  explicit PreviewWindow(const Options& o) : m_options(o) {}
  void Notify(TNotifyUI& msg) override {
    const std::wstring line = L"quillskin: " + msg.sType + L" " + (msg.pSender ? msg.pSender->GetName() : L"") +
                              L" " + std::to_wstring(msg.wParam);
    BRIX_TRACE(L"%ls\r\n", line.c_str());
    Print(line + L"\n");
    if (msg.sType == L"click" && msg.pSender &&
        (msg.pSender->GetName() == L"BtnClose" || msg.pSender->GetName() == L"closebtn")) {
      Close(1);
      return;
    }
    WindowImplBase::Notify(msg);
  }

 protected:
  LPCWSTR WindowClassName() const override { return L"QuillSkinPreview"; }
  std::wstring SkinFile() override { return m_options.layout; }
  void OnInitWindow() override {
    SetWindowTextW(m_hWnd, m_options.title.c_str());
    if (m_options.dpi != m_pm.GetDPI()) m_pm.SetDPI(m_options.dpi);
    ApplySelects(m_pm, m_options);
    CenterWindow();
  }
  LRESULT OnDestroyWindow(UINT, WPARAM, LPARAM, bool& handled) override {
    PostQuitMessage(0);
    handled = false;
    return 0;
  }

 private:
  Options m_options;
};

int Show(const Options& o) {
  PreviewWindow win(o);
  if (!win.Create(nullptr, o.title.c_str(), WS_POPUP | WS_VISIBLE | WS_MINIMIZEBOX | WS_SYSMENU, 0)) return 1;
  win.ShowWindow(true);
  CPaintManagerUI::MessageLoop();
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options o;
  if (!Parse(argc, argv, o)) return Usage();
  brix::ComGdiplusSession session;
  CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  // The reports also go to the console, so a designer sees them.
  SetDiagSink([&](const DiagReport& r) {
    Print(brix::Utf8ToWide(FormatDiag(r)) + L"\n");
    BRIX_TRACE(L"%ls\r\n", brix::Utf8ToWide(FormatDiag(r)).c_str());
  });
  if (!OpenSkin(o)) return 1;
  const int rc = o.command == L"show" ? Show(o) : Offscreen(o);
  CPaintManagerUI::Term();
  return rc;
}
