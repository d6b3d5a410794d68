// toolkitbench: times the skinned window the installer shows, from creation
// to its first paint, one full repaint and one progress step, and reports
// the process's private bytes with the window shown. Prints figures; it
// judges nothing.
//
//   toolkitbench --skin <skin.zip> --dpi <96..192> [--runs n]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "brixui.h"
#include "comsession.h"

using namespace brixui;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (CPaintManagerUI::TranslateMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class BenchWindow : public WindowImplBase {
 public:
  explicit BenchWindow(int dpi) : m_dpi(dpi) {}

 protected:
  LPCWSTR WindowClassName() const override { return L"ToolkitBench"; }
  std::wstring SkinFile() override { return L"Layout/Layout.xml"; }
  // As the installer window does: scale in OnInitWindow, then centre.
  void OnInitWindow() override {
    m_pm.SetDPI(m_dpi);
    CenterWindow();
  }

 private:
  int m_dpi;
};

// Private bytes: Wine leaves PrivateUsage at 0 but fills PagefileUsage,
// which Windows defines as the same committed private memory.
double PrivateMiB() {
  PROCESS_MEMORY_COUNTERS_EX pmc{};
  pmc.cb = sizeof pmc;
  GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
  return std::max(pmc.PrivateUsage, pmc.PagefileUsage) / (1024.0 * 1024.0);
}

// Creation with the style the installer uses, to the end of the first paint.
double CreateAndPaint(BenchWindow& win) {
  const auto t0 = Clock::now();
  win.Create(nullptr, L"", 0x10CF0000, 0x100);
  UpdateWindow(win.GetHWND());
  const auto t1 = Clock::now();
  return win.GetPaintManager().Stats().paints > 0 ? Ms(t0, t1) : -1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring skin;
  int dpi = 96, runs = 50;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring a = argv[i];
    if (a == L"--skin") skin = argv[i + 1];
    else if (a == L"--dpi") dpi = _wtoi(argv[i + 1]);
    else if (a == L"--runs") runs = std::max(1, _wtoi(argv[i + 1]));
  }
  if (skin.empty()) {
    std::printf("usage: toolkitbench --skin <skin.zip> --dpi <n> [--runs n]\n");
    return 2;
  }
  brix::ComGdiplusSession session;
  CPaintManagerUI::SetInstance(GetModuleHandleW(nullptr));
  static std::vector<char> bytes;
  HANDLE f = CreateFileW(skin.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) {
    std::printf("cannot open the skin\n");
    return 1;
  }
  bytes.resize(GetFileSize(f, nullptr));
  DWORD got = 0;
  ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(f);
  CPaintManagerUI::SetResourceZip(bytes.data(), static_cast<unsigned>(bytes.size()), L"");
  const double before = PrivateMiB();

  // Cold: the images are decoded for this scale on the way.
  BenchWindow first(dpi);
  const double cold = CreateAndPaint(first);
  for (int i = 0; i < 20; ++i) {
    Pump();
    Sleep(10);
  }
  const double shown = PrivateMiB();
  const RECT client = first.GetPaintManager().GetRoot()->GetPos();
  std::printf("dpi %d: window %ldx%ld, %zu images decoded\n", dpi, client.right, client.bottom,
              CPaintManagerUI::CachedImageCount());
  std::printf("dpi %d: creation to first paint %.1f ms (cold, images decoded on the way)\n", dpi, cold);

  // Full repaints.
  std::vector<double> full;
  for (int i = 0; i < runs; ++i) {
    InvalidateRect(first.GetHWND(), nullptr, FALSE);
    const auto t0 = Clock::now();
    UpdateWindow(first.GetHWND());
    full.push_back(Ms(t0, Clock::now()));
  }
  std::sort(full.begin(), full.end());
  double sum = 0;
  for (double v : full) sum += v;
  std::printf("dpi %d: full repaint median %.2f ms, best %.2f ms, mean %.2f ms (%d runs)\n", dpi,
              full[full.size() / 2], full.front(), sum / full.size(), runs);
  // The same paint into memory only: what the drawing costs without the
  // copy to the screen.
  {
    std::vector<double> mem;
    std::vector<uint32_t> px;
    int w = 0, h = 0;
    for (int i = 0; i < runs; ++i) {
      const auto t0 = Clock::now();
      first.GetPaintManager().RenderOffscreen(px, w, h);
      mem.push_back(Ms(t0, Clock::now()));
    }
    std::sort(mem.begin(), mem.end());
    std::printf("dpi %d: paint into memory median %.2f ms, best %.2f ms (with a pixel copy out)\n", dpi,
                mem[mem.size() / 2], mem.front());
  }

  // A progress step on the install view.
  CPaintManagerUI& pm = first.GetPaintManager();
  auto* tab = ControlCast<CTabLayoutUI>(pm.FindControl(L"TabMain"));
  auto* bar = ControlCast<CProgressUI>(pm.FindControl(L"ProgressInstall"));
  CControlUI* label = pm.FindControl(L"LabelInstallValue");
  if (tab && bar && label) {
    tab->SelectItem(1, false);
    for (int i = 0; i < 3; ++i) {
      UpdateWindow(first.GetHWND());
      Pump();
    }
    std::vector<double> step;
    bool onlyThose = true;
    RECT both;
    UnionRect(&both, &bar->GetPos(), &label->GetPos());
    for (int v = 1; v <= std::min(runs, 99); ++v) {
      const auto t0 = Clock::now();
      bar->SetValue(v);
      wchar_t text[64];
      swprintf(text, 64, L"\x5B89\x88C5\x4E2D...  (%d\xFF05)", v);
      label->SetText(text);
      UpdateWindow(first.GetHWND());
      step.push_back(Ms(t0, Clock::now()));
      const RECT painted = pm.Stats().lastPaint;
      RECT inter;
      if (!(IntersectRect(&inter, &painted, &both) && EqualRect(&inter, &painted))) {
        if (onlyThose)
          std::printf("dpi %d: step %d repainted [%ld,%ld,%ld,%ld]\n", dpi, v, painted.left, painted.top, painted.right,
                      painted.bottom);
        onlyThose = false;
      }
    }
    std::sort(step.begin(), step.end());
    const RECT p = pm.Stats().lastPaint;
    std::printf("dpi %d: progress step median %.2f ms; repainted [%ld,%ld,%ld,%ld] = bar and label [%ld,%ld,%ld,%ld]: %s\n",
                dpi, step[step.size() / 2], p.left, p.top, p.right, p.bottom, both.left, both.top, both.right,
                both.bottom, onlyThose ? "only those" : "MORE");
  }
  DestroyWindow(first.GetHWND());
  Pump();

  // Warm: a second window with the images already decoded.
  BenchWindow second(dpi);
  const double warm = CreateAndPaint(second);
  std::printf("dpi %d: creation to first paint %.1f ms (warm, images shared)\n", dpi, warm);
  DestroyWindow(second.GetHWND());
  Pump();
  std::printf("dpi %d: private bytes %.1f MiB with the window shown (%.1f MiB before it)\n", dpi, shown, before);
  CPaintManagerUI::Term();
  return 0;
}
