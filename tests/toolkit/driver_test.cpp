// The skinned window seen from another process, as a screen reader and a
// test tool see it: quillskin shows the test skin, the harness reads its
// accessibility tree and drives it with real input.
#include <gtest/gtest.h>

#include <objbase.h>
#include <oleacc.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "harness.h"
#include "testpaths.h"
#include "uidriver.h"

using harness::UiDriver;
using harness::UiElement;

namespace {

// quillskin showing a skin, run under the harness on a thread of its own.
class Preview {
 public:
  Preview(const std::wstring& skin, int dpi, const std::wstring& title) : title_(title) {
    harness::RunOptions o;
    o.commandLine = harness::BuildCommandLine({testsupport::BinPath(L"quillskin.exe"), L"show",
                                               testsupport::BinPath(skin), L"--dpi", std::to_wstring(dpi),
                                               L"--title", title});
    o.timeoutMs = 60000;
    o.onTrace = [this](const std::wstring& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      traces_.push_back(line);
    };
    thread_ = std::thread([this, o] {
      result_ = harness::Run(o);
      done_ = true;
    });
  }
  ~Preview() {
    if (HWND w = FindWindowW(L"QuillSkinPreview", title_.c_str())) PostMessageW(w, WM_CLOSE, 0, 0);
    thread_.join();
  }
  HWND Window() { return UiDriver::WaitForWindow(L"QuillSkinPreview", title_, 20000); }
  bool Saw(const std::wstring& part, DWORD timeoutMs = 3000) {
    const DWORD start = GetTickCount();
    do {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& t : traces_)
          if (t.find(part) != std::wstring::npos) return true;
      }
      Sleep(30);
    } while (GetTickCount() - start < timeoutMs);
    return false;
  }
  bool WaitDone(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done_ && GetTickCount() - start < timeoutMs) Sleep(30);
    return done_;
  }
  const harness::RunResult& Result() const { return result_; }

 private:
  std::wstring title_;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::wstring> traces_;
  std::atomic<bool> done_{false};
  harness::RunResult result_;
};

struct Com {
  Com() { CoInitialize(nullptr); }
  ~Com() { CoUninitialize(); }
};

const UiElement* ByName(const std::vector<UiElement>& list, const std::wstring& name) {
  for (const auto& e : list)
    if (e.name == name) return &e;
  return nullptr;
}

// Locations relative to the window, for comparing scales.
RECT Relative(const UiElement& e, HWND w) {
  RECT wr;
  GetWindowRect(w, &wr);
  return {e.location.left - wr.left, e.location.top - wr.top, e.location.right - wr.left, e.location.bottom - wr.top};
}

}  // namespace

TEST(UiDriver, AccessibilityTreeNamesRolesStatesValues) {
  Com com;
  Preview preview(L"uitest.zip", 96, L"tree96");
  HWND w = preview.Window();
  ASSERT_NE(nullptr, w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Connected());
  const auto list = ui.List();
  const struct { const wchar_t* name; long role; long set; long clear; } want[] = {
      {L"测试窗口", ROLE_SYSTEM_STATICTEXT, 0, STATE_SYSTEM_INVISIBLE},
      {L"最小化", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_UNAVAILABLE},
      {L"开始", ROLE_SYSTEM_PUSHBUTTON, 0, STATE_SYSTEM_UNAVAILABLE},
      {L"Alpha", ROLE_SYSTEM_RADIOBUTTON, STATE_SYSTEM_CHECKED, 0},
      {L"Beta", ROLE_SYSTEM_RADIOBUTTON, 0, STATE_SYSTEM_CHECKED},
      {L"Gamma", ROLE_SYSTEM_CHECKBUTTON, 0, STATE_SYSTEM_CHECKED},
      {L"Disabled", ROLE_SYSTEM_PUSHBUTTON, STATE_SYSTEM_UNAVAILABLE, 0},
      {L"安装路径", ROLE_SYSTEM_TEXT, 0, 0},
      {L"swatch", ROLE_SYSTEM_GRAPHIC, 0, 0},
      {L"40%", ROLE_SYSTEM_STATICTEXT, STATE_SYSTEM_INVISIBLE, 0},
  };
  for (const auto& c : want) {
    const UiElement* e = ByName(list, c.name);
    ASSERT_NE(nullptr, e) << harness::ToUtf8(c.name);
    EXPECT_EQ(c.role, e->role) << harness::ToUtf8(c.name) << " is " << harness::ToUtf8(harness::RoleName(e->role));
    EXPECT_EQ(c.set, e->state & c.set) << harness::ToUtf8(c.name) << ": " << harness::ToUtf8(harness::StateText(e->state));
    EXPECT_EQ(0, e->state & c.clear) << harness::ToUtf8(c.name) << ": " << harness::ToUtf8(harness::StateText(e->state));
  }
  EXPECT_EQ(L"C:\\Quillon", ByName(list, L"安装路径")->value);
  size_t tabs = 0, pages = 0, bars = 0;
  for (const auto& e : list) {
    tabs += e.role == ROLE_SYSTEM_PAGETABLIST;
    pages += e.role == ROLE_SYSTEM_PROPERTYPAGE;
    if (e.role == ROLE_SYSTEM_PROGRESSBAR) {
      ++bars;
      EXPECT_EQ(L"40%", e.value);
      EXPECT_TRUE(e.state & STATE_SYSTEM_INVISIBLE);  // on the page not shown
    }
  }
  EXPECT_EQ(1u, tabs);
  EXPECT_EQ(2u, pages);
  EXPECT_EQ(1u, bars);
}

TEST(UiDriver, LocationsScaleBy1Point5At144Dpi) {
  Com com;
  std::vector<UiElement> at96, at144;
  RECT w96, w144;
  {
    Preview p(L"uitest.zip", 96, L"loc96");
    HWND w = p.Window();
    ASSERT_NE(nullptr, w);
    UiDriver ui(w);
    at96 = ui.List();
    GetWindowRect(w, &w96);
    for (auto& e : at96) e.location = Relative(e, w);
  }
  {
    Preview p(L"uitest.zip", 144, L"loc144");
    HWND w = p.Window();
    ASSERT_NE(nullptr, w);
    UiDriver ui(w);
    at144 = ui.List();
    GetWindowRect(w, &w144);
    for (auto& e : at144) e.location = Relative(e, w);
  }
  EXPECT_EQ(400, w96.right - w96.left);
  EXPECT_EQ(600, w144.right - w144.left);
  EXPECT_EQ(450, w144.bottom - w144.top);
  ASSERT_EQ(at96.size(), at144.size());
  size_t compared = 0;
  for (size_t i = 0; i < at96.size(); ++i) {
    const RECT& a = at96[i].location;
    const RECT& b = at144[i].location;
    EXPECT_EQ(at96[i].name, at144[i].name);
    if (!at96[i].visible()) continue;
    // 1.5 times, give or take the rounding of odd paddings.
    EXPECT_NEAR(a.left * 1.5, b.left, 1.0) << harness::ToUtf8(at96[i].name);
    EXPECT_NEAR(a.top * 1.5, b.top, 1.0) << harness::ToUtf8(at96[i].name);
    EXPECT_NEAR(a.right * 1.5, b.right, 1.0) << harness::ToUtf8(at96[i].name);
    EXPECT_NEAR(a.bottom * 1.5, b.bottom, 1.0) << harness::ToUtf8(at96[i].name);
    ++compared;
  }
  EXPECT_GE(compared, 10u);
}

TEST(UiDriver, MouseKeyboardTypingDefaultActionAndScreenshot) {
  Com com;
  Preview preview(L"uitest.zip", 96, L"drive");
  HWND w = preview.Window();
  ASSERT_NE(nullptr, w);
  SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Connected());
  // Real mouse input at the button's centre.
  ASSERT_TRUE(ui.Click(L"开始"));
  EXPECT_TRUE(preview.Saw(L"quillskin: click BtnGo"));
  // Keyboard: focus through the accessibility object, Space toggles.
  ASSERT_TRUE(ui.PressByKeyboard(L"Gamma"));
  EXPECT_TRUE(ui.WaitForElement(L"Gamma", STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSED, 3000));
  EXPECT_TRUE(preview.Saw(L"quillskin: selectchanged CheckC"));
  // The default action does what a click does.
  ASSERT_TRUE(ui.DoDefaultAction(L"Beta"));
  EXPECT_TRUE(ui.WaitForElement(L"Beta", STATE_SYSTEM_CHECKED, 3000));
  UiElement alpha;
  ASSERT_TRUE(ui.Find(L"Alpha", alpha));
  EXPECT_FALSE(alpha.checked());
  // Typing into the edit.
  ASSERT_TRUE(ui.Type(L"安装路径", L"\\产品"));
  EXPECT_TRUE(ui.WaitFor([](const std::vector<UiElement>& l) {
    const UiElement* e = ByName(l, L"安装路径");
    return e && e->value.find(L"产品") != std::wstring::npos;
  }, 3000));
  // A screenshot with the swatch's colour at its place.
  UiElement swatch;
  ASSERT_TRUE(ui.Find(L"swatch", swatch));
  std::vector<uint32_t> px;
  int width = 0, height = 0;
  ASSERT_TRUE(ui.Capture(px, width, height));
  const RECT r = Relative(swatch, w);
  EXPECT_EQ(0x00C000u, px[static_cast<size_t>((r.top + r.bottom) / 2) * width + (r.left + r.right) / 2]);
  const std::wstring png = testsupport::MakeTempDir(L"uishot") + L"\\shot.png";
  ASSERT_TRUE(ui.SaveScreenshot(png));
  EXPECT_EQ(0, testsupport::ReadFileBytes(png).compare(0, 4, "\x89PNG"));
  // The close button ends the preview.
  ASSERT_TRUE(ui.DoDefaultAction(L"X"));
  EXPECT_TRUE(preview.WaitDone(10000));
  EXPECT_EQ(0u, preview.Result().exitCode);
}

TEST(UiDriver, ASkinThatGivesNoWindowEndsWithAMessageNamingFileAndLine) {
  harness::RunOptions o;
  o.commandLine = harness::BuildCommandLine(
      {testsupport::BinPath(L"quillskin.exe"), L"show", testsupport::BinPath(L"broken.zip")});
  o.timeoutMs = 30000;
  const harness::RunResult r = harness::Run(o);
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(0u, r.exitCode);
  ASSERT_EQ(1u, r.boxes.size());
  EXPECT_NE(std::wstring::npos, r.boxes[0].text.find(L"Layout/Layout.xml(5,")) << harness::ToUtf8(r.boxes[0].text);
  EXPECT_NE(std::wstring::npos, r.boxes[0].text.find(L"malformed XML"));
}
