// A skinned window in this process: frame, painting, mouse, keyboard,
// timers, DPI changes. Real windows and real input under Wine + Xvfb.
#include <gtest/gtest.h>

#include <oleacc.h>

#include "toolkittest.h"
#include "uidriver.h"

using namespace brixui;
using toolkittest::PumpFor;
using toolkittest::PumpUntil;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace {

class TestWindow : public WindowImplBase {
 public:
  std::vector<toolkittest::Recorded> events;
  int inits = 0;
  bool destroyed = false;
  size_t Count(const std::wstring& type, const std::wstring& name = L"") const {
    size_t n = 0;
    for (const auto& e : events)
      if (e.type == type && (name.empty() || e.name == name)) ++n;
    return n;
  }
  void Notify(TNotifyUI& msg) override {
    events.push_back({msg.sType, msg.pSender ? msg.pSender->GetName() : L"", msg.wParam, msg.lParam});
    WindowImplBase::Notify(msg);
  }

 protected:
  LPCWSTR WindowClassName() const override { return L"BrixUITestWindow"; }
  std::wstring SkinFile() override { return L"Layout/Layout.xml"; }
  void OnInitWindow() override { ++inits; }
  LRESULT OnDestroyWindow(UINT, WPARAM, LPARAM, bool& handled) override {
    destroyed = true;
    handled = false;
    return 0;
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    toolkittest::Session();
    ASSERT_TRUE(toolkittest::UseSkinZip());
    // As the installer creates its window: a framed style asked for, a
    // borderless skinned window given.
    ASSERT_NE(nullptr, win.Create(nullptr, L"", 0x10CF0000, 0x100));
    SetWindowPos(win.GetHWND(), HWND_TOPMOST, 40, 40, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(win.GetHWND());
    PumpFor(200);
  }
  void TearDown() override {
    if (win.GetHWND()) DestroyWindow(win.GetHWND());
    PumpFor(50);
  }
  CPaintManagerUI& pm() { return win.GetPaintManager(); }
  CControlUI* Find(const wchar_t* name) { return pm().FindControl(name); }
  POINT ScreenCentre(const wchar_t* name) {
    const RECT rc = Find(name)->GetPos();
    POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    ClientToScreen(win.GetHWND(), &pt);
    return pt;
  }
  void Click(POINT screen) {
    SetCursorPos(screen.x, screen.y);
    PumpFor(50);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
  }
  void Key(WORD vk, bool shift = false) {
    harness::SendKey(vk, shift);
    PumpFor(80);
  }
  COLORREF ScreenPixel(POINT screen) {
    HDC dc = GetDC(nullptr);
    const COLORREF c = GetPixel(dc, screen.x, screen.y);
    ReleaseDC(nullptr, dc);
    return c;
  }
  TestWindow win;
};

}  // namespace

TEST_F(WindowTest, BorderlessSkinnedWindowOfTheSkinSize) {
  HWND w = win.GetHWND();
  EXPECT_EQ(1, win.inits);
  EXPECT_EQ(0, GetWindowLongW(w, GWL_STYLE) & WS_CAPTION);
  EXPECT_EQ(0, GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_WINDOWEDGE);
  wchar_t cls[64];
  GetClassNameW(w, cls, 64);
  EXPECT_STREQ(L"BrixUITestWindow", cls);
  RECT wr, cr;
  GetWindowRect(w, &wr);
  GetClientRect(w, &cr);
  const SIZE want = pm().ScaledInitSize();
  EXPECT_EQ(want.cx, wr.right - wr.left);
  EXPECT_EQ(want.cy, wr.bottom - wr.top);
  EXPECT_EQ(want.cx, cr.right);  // no frame: client area is the window
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(ERROR, GetWindowRgn(w, rgn));  // rounded corners
  DeleteObject(rgn);
  // The caption drags, its buttons do not.
  const RECT cap = Find(L"Title")->GetPos();
  POINT p{(cap.left + cap.right) / 2, 20};
  ClientToScreen(w, &p);
  EXPECT_EQ(HTCAPTION, SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)));
  const POINT close = ScreenCentre(L"BtnClose");
  EXPECT_EQ(HTCLIENT, SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(close.x, close.y)));
}

TEST_F(WindowTest, MouseClickReachesTheButtonAndHoverShows) {
  Click(ScreenCentre(L"BtnGo"));
  EXPECT_TRUE(PumpUntil([&] { return win.Count(L"click", L"BtnGo") == 1; }, 3000));
  // A press that leaves the button before release is no click.
  const POINT go = ScreenCentre(L"BtnGo");
  SetCursorPos(go.x, go.y);
  PumpFor(50);
  EXPECT_EQ(Find(L"BtnGo"), pm().GetHot());
  INPUT down{};
  down.type = INPUT_MOUSE;
  down.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &down, sizeof down);
  PumpFor(50);
  const POINT away = ScreenCentre(L"Swatch");
  SetCursorPos(away.x, away.y);
  PumpFor(50);
  INPUT up{};
  up.type = INPUT_MOUSE;
  up.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &up, sizeof up);
  PumpFor(100);
  EXPECT_EQ(1u, win.Count(L"click", L"BtnGo"));
  // Clicking an option selects it.
  Click(ScreenCentre(L"RadioB"));
  EXPECT_TRUE(PumpUntil([&] { return win.Count(L"selectchanged", L"RadioB") == 1; }, 3000));
  EXPECT_TRUE(ControlCast<COptionUI>(Find(L"RadioB"))->IsSelected());
  EXPECT_FALSE(ControlCast<COptionUI>(Find(L"RadioA"))->IsSelected());
}

TEST_F(WindowTest, TabOrderSpaceEnterAndEscape) {
  const wchar_t* order[] = {L"minbtn", L"BtnClose", L"EditPath", L"RadioA", L"RadioB", L"CheckC", L"BtnGo"};
  std::vector<std::wstring> seen;
  for (size_t i = 0; i < 8; ++i) {
    Key(VK_TAB);
    seen.push_back(pm().GetFocus() ? pm().GetFocus()->GetName() : L"(none)");
  }
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(order[i], seen[i]) << i;
  EXPECT_EQ(L"minbtn", seen[7]);  // wraps round
  Key(VK_TAB, true);
  EXPECT_EQ(L"BtnGo", pm().GetFocus()->GetName());
  Key(VK_TAB, true);
  EXPECT_EQ(L"CheckC", pm().GetFocus()->GetName());
  // Space toggles the focused check box; Enter presses the focused button.
  Key(VK_SPACE);
  EXPECT_TRUE(ControlCast<COptionUI>(Find(L"CheckC"))->IsSelected());
  Key(VK_SPACE);
  EXPECT_FALSE(ControlCast<COptionUI>(Find(L"CheckC"))->IsSelected());
  Key(VK_TAB);
  Key(VK_RETURN);
  EXPECT_EQ(1u, win.Count(L"click", L"BtnGo"));
  // In the edit the keys type; Tab still moves on.
  Find(L"EditPath")->SetFocus();
  PumpFor(50);
  HWND edit = ControlCast<CRichEditUI>(Find(L"EditPath"))->GetNativeWindow();
  ASSERT_NE(nullptr, edit);
  EXPECT_EQ(edit, GetFocus());
  Key(VK_END);
  Key('X');
  EXPECT_EQ(L"C:\\Quillonx", Find(L"EditPath")->GetText());
  EXPECT_GE(win.Count(L"textchanged", L"EditPath"), 1u);
  Key(VK_TAB);
  EXPECT_EQ(L"RadioA", pm().GetFocus()->GetName());
  // Esc is the close request: a click on the close button.
  Key(VK_ESCAPE);
  EXPECT_TRUE(PumpUntil([&] { return win.Count(L"click", L"BtnClose") == 1; }, 2000));
}

TEST_F(WindowTest, TimersPerControlStartAndStopById) {
  CControlUI* swatch = Find(L"Swatch");
  CControlUI* go = Find(L"BtnGo");
  ASSERT_TRUE(swatch->SetTimer(1990, 30));
  ASSERT_TRUE(go->SetTimer(1990, 40));
  ASSERT_TRUE(go->SetTimer(7, 1000));
  EXPECT_TRUE(PumpUntil([&] { return win.Count(L"timer", L"Swatch") >= 3 && win.Count(L"timer", L"BtnGo") >= 2; }, 3000));
  for (const auto& e : win.events) {
    if (e.type == L"timer") {
      EXPECT_EQ(1990u, e.wParam);
    }
  }
  swatch->KillTimer(1990);
  PumpFor(60);
  const size_t after = win.Count(L"timer", L"Swatch");
  PumpFor(200);
  EXPECT_EQ(after, win.Count(L"timer", L"Swatch"));
  EXPECT_GT(win.Count(L"timer", L"BtnGo"), 2u);
  EXPECT_EQ(2u, pm().TimerCount());
  // A control that goes away takes its timers along.
  auto* number = new CLabelUI;
  ControlCast<CContainerUI>(Find(L"PageOne"))->Add(number);
  number->SetTimer(1, 10);
  EXPECT_EQ(3u, pm().TimerCount());
  ControlCast<CContainerUI>(Find(L"PageOne"))->Remove(number);
  EXPECT_EQ(2u, pm().TimerCount());
}

TEST_F(WindowTest, ScreenshotShowsTheSwatchAtItsPlaceAndDpiChangeRescales) {
  UpdateWindow(win.GetHWND());
  PumpFor(100);
  const RECT sw = Find(L"Swatch")->GetPos();
  EXPECT_EQ(pm().Scale(20), sw.left);
  EXPECT_EQ(RGB(0, 0xC0, 0), ScreenPixel(ScreenCentre(L"Swatch")));
  // Wine never sends WM_DPICHANGED: send one as Windows would.
  RECT wr;
  GetWindowRect(win.GetHWND(), &wr);
  RECT suggested{wr.left, wr.top, wr.left + 600, wr.top + 450};
  SendMessageW(win.GetHWND(), WM_DPICHANGED, MAKEWPARAM(150, 150), reinterpret_cast<LPARAM>(&suggested));
  UpdateWindow(win.GetHWND());
  PumpFor(150);
  EXPECT_EQ(144, pm().GetDPI());  // 150 rounds down to 144
  GetWindowRect(win.GetHWND(), &wr);
  EXPECT_EQ(600, wr.right - wr.left);
  EXPECT_EQ(450, wr.bottom - wr.top);
  const RECT big = Find(L"Swatch")->GetPos();
  EXPECT_EQ(30, big.left);
  EXPECT_EQ(75, big.top);
  EXPECT_EQ(570, big.right);
  EXPECT_EQ(120, big.bottom);
  EXPECT_EQ(RGB(0, 0xC0, 0), ScreenPixel(ScreenCentre(L"Swatch")));
  POINT corner{big.left + 1, big.bottom - 2};
  ClientToScreen(win.GetHWND(), &corner);
  EXPECT_EQ(RGB(0, 0xC0, 0), ScreenPixel(corner));
  POINT below{big.left + 1, big.bottom + 2};
  ClientToScreen(win.GetHWND(), &below);
  EXPECT_NE(RGB(0, 0xC0, 0), ScreenPixel(below));
  // The logo at 150 % is the blue one.
  EXPECT_EQ(RGB(0, 0, 0xFF), ScreenPixel(ScreenCentre(L"Logo")));
  // The native edit follows with a bigger font.
  HWND edit = ControlCast<CRichEditUI>(Find(L"EditPath"))->GetNativeWindow();
  RECT er;
  GetWindowRect(edit, &er);
  POINT etl{er.left, er.top};
  ScreenToClient(win.GetHWND(), &etl);
  const RECT ep = Find(L"EditPath")->GetPos();
  EXPECT_GE(etl.x, ep.left);
  EXPECT_LE(er.right - er.left, ep.right - ep.left);
}

TEST_F(WindowTest, AProgressStepRepaintsOnlyTheBarAndTheLabel) {
  ControlCast<CTabLayoutUI>(Find(L"TabMain"))->SelectItem(1, true);
  EXPECT_EQ(1u, win.Count(L"tabselect", L"TabMain"));
  UpdateWindow(win.GetHWND());
  PumpFor(100);
  EXPECT_FALSE(ControlCast<CRichEditUI>(Find(L"EditPath"))->GetNativeWindow() &&
               IsWindowVisible(ControlCast<CRichEditUI>(Find(L"EditPath"))->GetNativeWindow()));
  auto* bar = ControlCast<CProgressUI>(Find(L"ProgressBar"));
  CControlUI* label = Find(L"ProgressText");
  const unsigned before = pm().Stats().paints;
  bar->SetValue(41);
  label->SetText(L"41%");
  UpdateWindow(win.GetHWND());
  EXPECT_EQ(before + 1, pm().Stats().paints);
  RECT both;
  UnionRect(&both, &bar->GetPos(), &label->GetPos());
  const RECT painted = pm().Stats().lastPaint;
  EXPECT_TRUE(EqualRect(&both, &painted)) << painted.left << "," << painted.top << "," << painted.right << ","
                                          << painted.bottom;
  // Without notification: no "tabselect".
  ControlCast<CTabLayoutUI>(Find(L"TabMain"))->SelectItem(0, false);
  EXPECT_EQ(1u, win.Count(L"tabselect"));
}

namespace {
std::vector<std::pair<DWORD, LONG>> g_winEvents;
void CALLBACK OnWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD) {
  if (object == OBJID_CLIENT) g_winEvents.emplace_back(event, child);
}
bool SawWinEvent(DWORD event, LONG child) {
  for (const auto& e : g_winEvents)
    if (e.first == event && e.second == child) return true;
  return false;
}
}  // namespace

TEST_F(WindowTest, ScreenReadersHearFocusStateNameAndValueChanges) {
  g_winEvents.clear();
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, OnWinEvent,
                                       GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(nullptr, hook);
  auto id = [&](const wchar_t* name) { return static_cast<LONG>(pm().AccessibleChildId(Find(name))); };
  ASSERT_GT(id(L"ProgressBar"), 0);
  Find(L"BtnGo")->SetFocus();
  ControlCast<COptionUI>(Find(L"CheckC"))->Selected(true);
  Find(L"ProgressText")->SetText(L"55%");
  ControlCast<CProgressUI>(Find(L"ProgressBar"))->SetValue(55);
  Find(L"BtnGo")->SetEnabled(false);
  EXPECT_TRUE(PumpUntil([&] { return SawWinEvent(EVENT_OBJECT_VALUECHANGE, id(L"ProgressBar")); }, 2000));
  EXPECT_TRUE(SawWinEvent(EVENT_OBJECT_FOCUS, id(L"BtnGo")));
  EXPECT_TRUE(SawWinEvent(EVENT_OBJECT_STATECHANGE, id(L"CheckC")));
  EXPECT_TRUE(SawWinEvent(EVENT_OBJECT_NAMECHANGE, id(L"ProgressText")));
  EXPECT_TRUE(SawWinEvent(EVENT_OBJECT_STATECHANGE, id(L"BtnGo")));
  // A disabled control drops out of the Tab order and its focus.
  EXPECT_NE(Find(L"BtnGo"), pm().GetFocus());
  UnhookWinEvent(hook);
}

TEST_F(WindowTest, MinimiseButtonCloseWithResultAndDestroy) {
  Click(ScreenCentre(L"minbtn"));
  EXPECT_TRUE(PumpUntil([&] { return IsIconic(win.GetHWND()) != FALSE; }, 3000));
  ShowWindow(win.GetHWND(), SW_RESTORE);
  PumpFor(100);
  // Close(2) posts WM_CLOSE with 2; the default handling destroys the window.
  struct Spy : IMessageFilterUI {
    WPARAM closeParam = 0;
    LRESULT MessageHandler(UINT msg, WPARAM wp, LPARAM, bool& handled) override {
      if (msg == WM_CLOSE) closeParam = wp;
      handled = false;
      return 0;
    }
  } spy;
  pm().AddMessageFilter(&spy);
  win.Close(2);
  EXPECT_TRUE(PumpUntil([&] { return win.destroyed; }, 2000));
  EXPECT_EQ(2u, spy.closeParam);
  EXPECT_EQ(nullptr, win.GetHWND());
}
