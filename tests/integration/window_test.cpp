// The installer window driven from outside, as a person (mouse, keyboard)
// or a screen reader would: the real window of a packed installer under
// the display, its controls read through IAccessible.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <sstream>
#include <thread>

#include "installer.h"
#include "testpaths.h"
#include "uidriver.h"

namespace {

using harness::UiDriver;
using harness::UiElement;

const wchar_t kWindowed[] = L"windowed_setup.exe";
const wchar_t kSample[] = L"quillon_setup.exe";
const wchar_t kInstall[] = L"快速安装";
const wchar_t kStart[] = L"立即体验";
const wchar_t kLicence[] = L"我已阅读并同意";
const wchar_t kPathEdit[] = L"安装路径";
const wchar_t kCloseBox[] = L"关闭";
const wchar_t kFullWidthPercent = 0xFF05;

std::map<std::string, std::string> Servers() {
  std::map<std::string, std::string> out;
  std::istringstream in(testsupport::ReadFileBytes(testsupport::BinPath(L"stat_servers.txt")));
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// The counter service the installer asks: the local HTTPS server answering
// `answer`, or a port where nothing listens.
std::string CounterHost(const std::string& answer) {
  auto servers = Servers();
  if (answer == "<closed>") return "localhost:" + servers["closed_port"];
  std::string encoded;
  for (unsigned char c : answer) {
    char hex[4];
    snprintf(hex, sizeof hex, "%%%02X", c);
    encoded += isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return "localhost:" + servers["https_port"] + "/answer/" + encoded;
}

// An installer running in window mode on a thread of the test, its window
// driven from the test's own thread.
class WindowRun {
 public:
  WindowRun(const std::wstring& exe, std::vector<std::wstring> args,
            harness::MessageBoxHandler onBox = harness::PressOkOrCancel,
            std::vector<std::pair<std::wstring, std::wstring>> env = {})
      : exe_(exe) {
    std::vector<std::wstring> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    harness::RunOptions options;
    options.commandLine = harness::BuildCommandLine(all);
    options.timeoutMs = 120000;
    options.onMessageBox = std::move(onBox);
    options.environment = std::move(env);
    result_ = std::async(std::launch::async, [options] { return harness::Run(options); });
  }
  ~WindowRun() {
    if (result_.valid()) {
      for (HWND w : it::InstallerWindowsOf(exe_)) PostMessageW(w, WM_CLOSE, 0, 0);
      result_.wait();
    }
  }
  // The installer's window, once it shows.
  HWND Window(DWORD timeoutMs = 30000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
      for (HWND w : it::InstallerWindowsOf(exe_))
        if (IsWindowVisible(w)) return w;
      if (result_.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready) return nullptr;
      Sleep(50);
    }
    return nullptr;
  }
  bool Ended(DWORD timeoutMs) {
    return result_.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
  }
  harness::RunResult Finish() { return result_.get(); }

 private:
  std::wstring exe_;
  std::future<harness::RunResult> result_;
};

// Lines starting with `prefix`, prefix removed.
std::vector<std::wstring> LinesWith(const harness::RunResult& r, const std::wstring& prefix) {
  std::vector<std::wstring> out;
  for (const auto& l : it::Lines(r))
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l.substr(prefix.size()));
  return out;
}

std::wstring Set(const harness::RunResult& r, const std::wstring& name) {
  auto values = LinesWith(r, L"set:" + name + L"=");
  return values.empty() ? L"<none>" : values.front();
}

std::wstring ValueOf(UiDriver& ui, const std::wstring& name) {
  UiElement e;
  return ui.Find(name, e) ? e.value : L"<none>";
}

bool Shows(UiDriver& ui, const std::wstring& name) {
  UiElement e;
  return ui.Find(name, e) && e.visible();
}

// Clicks an option until it shows the wanted state (a second click only
// when the first one's result has not arrived within two seconds).
bool SetOption(UiDriver& ui, const std::wstring& name, bool checked) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    UiElement e;
    if (!ui.Find(name, e)) return false;
    if (e.checked() == checked) return true;
    if (!ui.Click(name)) return false;
    if (ui.WaitFor(
            [&](const std::vector<UiElement>& all) {
              for (const auto& x : all)
                if (x.name == name) return x.checked() == checked;
              return false;
            },
            2000))
      return true;
  }
  return false;
}

// The number row's one-character labels, left to right.
std::wstring NumberRow(UiDriver& ui) {
  std::wstring digits;
  for (const auto& e : ui.List())
    if (e.visible() && e.role == ROLE_SYSTEM_STATICTEXT && e.name.size() == 1 &&
        (iswdigit(e.name[0]) || e.name[0] == L'-'))
      digits += e.name;
  return digits;
}

// Presses the install button, sees the window stay on its first view, then
// closes it and returns what the run did.
harness::RunResult RequestRefused(WindowRun& run, UiDriver& ui) {
  EXPECT_TRUE(ui.Click(kInstall));
  Sleep(1500);
  EXPECT_TRUE(Shows(ui, kInstall));
  PostMessageW(ui.Window(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(run.Ended(20000));
  return run.Finish();
}

std::wstring ProgressLabel(int value) {
  return L"安装中...  (" + std::to_wstring(value) + std::wstring(1, kFullWidthPercent) + L")";
}

class InstallerWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    root_ = testsupport::MakeTempDir(L"window");
    folder_ = root_ + L"\\Quillon";
    mutex_ = it::UniqueMutexName();
  }
  void TearDown() override {
    testsupport::RemoveTree(root_);
    CoUninitialize();
  }
  // The window test product with its counter at `answer`.
  std::wstring Windowed(const std::string& answer = "7") {
    const std::wstring exe = it::CopyInstaller(kWindowed);
    const std::string host = CounterHost(answer);
    EXPECT_TRUE(it::ReplaceResource(exe, L"CFG", L"COUNTER_HOST", &host));
    return exe;
  }
  std::vector<std::wstring> Args(std::vector<std::wstring> extra = {}) {
    std::vector<std::wstring> args{L"/TestMutexName", mutex_, L"/TestPath", folder_};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
  std::wstring root_, folder_, mutex_;
};

// --- the init view -----------------------------------------------------------

TEST_F(InstallerWindow, InitViewAsAScreenReaderSeesIt) {
  WindowRun run(Windowed(), Args());
  HWND w = run.Window();
  ASSERT_TRUE(w);
  wchar_t title[64] = {};
  GetWindowTextW(w, title, 64);
  EXPECT_EQ(std::wstring(title), L"Quillon安装");
  UiDriver ui(w);
  ASSERT_TRUE(ui.Connected());
  std::map<std::wstring, UiElement> seen;
  for (const auto& e : ui.List())
    if (e.visible()) seen[e.name] = e;
  ASSERT_TRUE(seen.count(kInstall));
  EXPECT_EQ(seen[kInstall].role, ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_TRUE(seen[kInstall].enabled());
  for (const wchar_t* option : {kLicence, L"创建开始菜单快捷方式", L"创建桌面快捷方式", L"开机自动启动"}) {
    ASSERT_TRUE(seen.count(option)) << harness::ToUtf8(option);
    EXPECT_EQ(seen[option].role, ROLE_SYSTEM_CHECKBUTTON);
    EXPECT_TRUE(seen[option].checked()) << harness::ToUtf8(option);
  }
  ASSERT_TRUE(seen.count(kPathEdit));
  EXPECT_EQ(seen[kPathEdit].role, ROLE_SYSTEM_TEXT);
  // The placeholder's value already ends with the product folder.
  EXPECT_EQ(seen[kPathEdit].value, folder_);
  EXPECT_TRUE(seen.count(L"《安装许可协议》"));
  EXPECT_FALSE(seen.count(kStart));  // the complete view is not shown yet
}

TEST_F(InstallerWindow, LicenceOptionEnablesTheInstallButton) {
  WindowRun run(Windowed(), Args());
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kLicence));
  EXPECT_TRUE(ui.WaitFor(
      [](const std::vector<UiElement>& all) {
        for (const auto& e : all)
          if (e.name == kInstall) return !e.enabled();
        return false;
      },
      5000));
  ASSERT_TRUE(ui.Click(kLicence));
  EXPECT_TRUE(ui.WaitForElement(kInstall, 0, 5000));
  UiElement button;
  ASSERT_TRUE(ui.Find(kInstall, button));
  EXPECT_TRUE(button.enabled());
}

struct PlaceholderCase {
  std::wstring global, shown;  // "%ROOT%" stands for the test's folder
};

class Placeholder : public InstallerWindow, public ::testing::WithParamInterface<PlaceholderCase> {};

TEST_P(Placeholder, FillsThePathEdit) {
  auto sub = [&](std::wstring s) {
    const size_t at = s.find(L"%ROOT%");
    if (at != std::wstring::npos) s.replace(at, 6, root_);
    return s;
  };
  WindowRun run(Windowed(), {L"/TestMutexName", mutex_, L"/TestPath", sub(GetParam().global)});
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  EXPECT_EQ(ValueOf(ui, kPathEdit), sub(GetParam().shown));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Placeholder,
    ::testing::Values(PlaceholderCase{L"%ROOT%\\Harlow", L"%ROOT%\\Harlow\\Quillon"},
                      PlaceholderCase{L"%ROOT%\\Quillon", L"%ROOT%\\Quillon"},
                      PlaceholderCase{L"%ROOT%\\quillon", L"%ROOT%\\quillon\\Quillon"},
                      PlaceholderCase{L"-", L"$global_install_path$"}));

TEST_F(InstallerWindow, SampleShowsItsProgramFilesFolder) {
  // The sample's global holds %ProgramFiles%: shown expanded.
  WindowRun run(it::CopyInstaller(kSample), {});
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  wchar_t expected[MAX_PATH] = {};
  ExpandEnvironmentStringsW(L"%ProgramFiles%\\Harlow\\Quillon", expected, MAX_PATH);
  EXPECT_EQ(ValueOf(ui, kPathEdit), expected);
}

TEST_F(InstallerWindow, AutoStartOptionFollowsTheConfiguration) {
  WindowRun run(Windowed(), Args({L"/TestAutoHidden", L"1"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  EXPECT_FALSE(Shows(ui, L"开机自动启动"));
}

// --- closing -------------------------------------------------------------------

TEST_F(InstallerWindow, CloseAsksFirstAndCancelKeepsTheWindow) {
  std::atomic<int> answer{IDCANCEL};
  std::vector<harness::MessageBoxRecord> boxes;
  WindowRun run(Windowed(), Args(), [&](const harness::MessageBoxRecord& box) { return answer.load(); });
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kCloseBox));
  Sleep(1500);
  EXPECT_FALSE(run.Ended(0));
  EXPECT_TRUE(IsWindowVisible(w));
  answer.store(IDOK);
  ASSERT_TRUE(ui.Click(kCloseBox));
  ASSERT_TRUE(run.Ended(20000));
  auto r = run.Finish();
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 2u);
  for (const auto& box : r.boxes) {
    EXPECT_EQ(box.caption, L"提醒");
    EXPECT_EQ(box.text, L"您确定要退出安装程序？");
  }
  EXPECT_EQ(r.boxes[0].pressed, IDCANCEL);
  EXPECT_EQ(r.boxes[1].pressed, IDOK);
  EXPECT_EQ(it::Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
}

// --- the install request's checks -------------------------------------------------

TEST_F(InstallerWindow, IllegalPathIsRefusedAndTheUserStays) {
  WindowRun run(Windowed(), {L"/TestMutexName", mutex_, L"/TestPath", L"-"});
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  Sleep(1500);
  EXPECT_TRUE(Shows(ui, kInstall));
  ASSERT_TRUE(ui.ReplaceText(kPathEdit, L"\\\\server\\share\\Quillon"));
  auto r = RequestRefused(run, ui);
  ASSERT_EQ(r.boxes.size(), 2u);
  for (const auto& box : r.boxes) {
    EXPECT_EQ(box.caption, L"错误");
    EXPECT_EQ(box.text, L"安装路径非法，请重新修改！");
  }
  EXPECT_EQ(Set(r, L"InstallPath"), L"<none>");
}

TEST_F(InstallerWindow, RefusedBackupPathLeavesTheChoicesPublishedAndTheFolderMade) {
  WindowRun run(Windowed(), Args({L"/TestBackup", L"\\\\server\\backup"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(SetOption(ui, L"创建开始菜单快捷方式", false));
  // A trailing backslash is not handed over.
  ASSERT_TRUE(ui.ReplaceText(kPathEdit, folder_ + L"\\"));
  auto r = RequestRefused(run, ui);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, L"错误");
  EXPECT_EQ(r.boxes[0].text, L"备份路径非法，请重新修改！");
  EXPECT_EQ(Set(r, L"InstallPath"), folder_);
  EXPECT_EQ(Set(r, L"StartMenuShortcutChk"), L"false");
  EXPECT_EQ(Set(r, L"DesktopShortcutChk"), L"true");
  EXPECT_EQ(Set(r, L"ShouldStartWithWindowsChk"), L"true");
  EXPECT_EQ(Set(r, L"LicenceChk"), L"true");
  EXPECT_TRUE(testsupport::FileExists(folder_));
  EXPECT_EQ(it::Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
}

TEST_F(InstallerWindow, TooLittleFreeSpaceNamesTheNeedInMegabytes) {
  // More than any drive here has: 8 EiB.
  WindowRun run(Windowed(), Args({L"/TestNeed", L"9223372036854775808"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  auto r = RequestRefused(run, ui);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, L"提示");
  EXPECT_EQ(r.boxes[0].text, L"磁盘剩余可用空间不足,安装程序需要8796093022208.00MB的空间来完成安装！");
  EXPECT_EQ(Set(r, L"InstallPath"), folder_);  // published before the check
}

// --- the install -----------------------------------------------------------------

TEST_F(InstallerWindow, InstallRunsTheStepsShowsProgressAndTheCounterNumber) {
  harness::ListeningWindow product(L"Quillon");  // a running product
  ASSERT_TRUE(product.Handle());
  WindowRun run(Windowed(" 42abc"), Args({L"/TestBusy", L"16000"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(product.WaitForMessage(3023, 10000));

  // The bar counts up and waits at 99 while the hook is busy; its label
  // follows with the full-width percent sign.
  std::vector<int> values;
  std::vector<std::wstring> labels;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 60000 && !Shows(ui, kStart)) {
    for (const auto& e : ui.List()) {
      if (!e.visible()) continue;
      if (e.role == ROLE_SYSTEM_PROGRESSBAR) values.push_back(_wtoi(e.value.c_str()));
      if (e.name.compare(0, 6, L"安装中...") == 0) labels.push_back(e.name);
    }
    Sleep(100);
  }
  ASSERT_TRUE(Shows(ui, kStart));
  ASSERT_FALSE(values.empty());
  for (size_t i = 1; i < values.size(); ++i) EXPECT_LE(values[i - 1], values[i]);
  int atNinetyNine = 0;
  for (int v : values) atNinetyNine += v == 99;
  EXPECT_GT(atNinetyNine, 3);
  EXPECT_NE(std::find(labels.begin(), labels.end(), ProgressLabel(99)), labels.end());
  for (const auto& l : labels) {
    if (l == L"安装中...  (75%)") continue;  // the skin's text before the first tick
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(l[l.size() - 2], kFullWidthPercent) << harness::ToUtf8(l);
  }

  // The complete view: the start button focused, the number row filled.
  UiElement startButton;
  ASSERT_TRUE(ui.Find(kStart, startButton));
  EXPECT_TRUE(startButton.focused());
  EXPECT_EQ(NumberRow(ui), L"42");
  ASSERT_TRUE(ui.Click(kStart));
  ASSERT_TRUE(run.Ended(20000));
  auto r = run.Finish();
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(it::Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeInstall",
                                                     L"BrixSE_OnInstall", L"BrixSE_BeforeComplete",
                                                     L"BrixSE_AfterComplete"}));
  EXPECT_EQ(it::Logged(r, L"InstallPath"), folder_);
  // Published while no hook ran: during the worker's first wait.
  auto positions = LinesWith(r, L"var:global_install_progress_pos=");
  ASSERT_EQ(positions.size(), 2u);
  const int during = _wtoi(positions[0].c_str());
  EXPECT_GE(during, 1);
  EXPECT_LE(during, 99);
  EXPECT_EQ(positions[1], L"100");
  EXPECT_EQ(it::Logged(r, L"global_install_progress_elapse"), L"0");  // a few bytes of payload
}

struct CounterCase {
  std::string answer;
  std::wstring digits;
};

class CounterNumber : public InstallerWindow, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(CounterNumber, FallsBackWhenTheAnswerIsNoNumber) {
  WindowRun run(Windowed(GetParam().answer), Args());
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(ui.WaitForElement(kStart, 0, 60000));
  EXPECT_EQ(NumberRow(ui), GetParam().digits);
  ASSERT_TRUE(ui.Click(kCloseBox));  // no question on the complete view
  ASSERT_TRUE(run.Ended(20000));
  auto r = run.Finish();
  EXPECT_TRUE(r.boxes.empty());
  // The product is not started by a close.
  EXPECT_EQ(it::Hooks(r).back(), L"BrixSE_BeforeComplete");
}

INSTANTIATE_TEST_SUITE_P(Cases, CounterNumber,
                         ::testing::Values(CounterCase{"0", L"1342395"}, CounterCase{"abc", L"1342395"},
                                           CounterCase{"<closed>", L"1342395"}, CounterCase{"-17", L"-17"}));

TEST_F(InstallerWindow, FailedCounterRequestIsLogged) {
  WindowRun run(Windowed("<closed>"), Args({L"/TestNoComplete", L"1"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(run.Ended(60000));
  auto r = run.Finish();
  // No complete view: the product start and the after-complete hook follow
  // the end of the install at once.
  EXPECT_EQ(it::Hooks(r).back(), L"BrixSE_AfterComplete");
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64];
  swprintf(name, 64, L"QuillClientInstall_%04d-%02d-%02d.log", now.wYear, now.wMonth, now.wDay);
  const std::string log = testsupport::ReadFileBytes(std::wstring(temp) + name);
  EXPECT_NE(log.find("querynumber 7-"), std::string::npos) << log;
}

TEST_F(InstallerWindow, ScriptErrorInAWorkerHookShowsTheErrorBoxAndEnds) {
  WindowRun run(Windowed(), Args({L"/TestFail", L"OnInstall"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(run.Ended(30000));
  auto r = run.Finish();
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, L":-( 杯具，脚本执行时发生错误");
  EXPECT_EQ(it::Hooks(r).back(), L"BrixSE_OnInstall");
}

TEST_F(InstallerWindow, ClosedBySystemWhileInstallingEndsTheProcess) {
  WindowRun run(Windowed(), Args({L"/TestBusy", L"60000"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(ui.WaitFor([](const std::vector<UiElement>& all) {
    for (const auto& e : all)
      if (e.role == ROLE_SYSTEM_PROGRESSBAR && e.visible()) return true;
    return false;
  }, 10000));
  // Esc does not abandon a running install.
  SetForegroundWindow(w);
  ui.Key(VK_ESCAPE);
  Sleep(1000);
  EXPECT_FALSE(run.Ended(0));
  Sleep(3000);  // the hook is running now
  PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_TRUE(run.Ended(10000));
  auto r = run.Finish();
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_FALSE(r.timedOut);
  EXPECT_TRUE(it::HasLine(r, L"install window closed while the install was running"));
}

TEST_F(InstallerWindow, SecondInstallerBringsTheWindowForwardAndEnds) {
  const std::wstring exe = Windowed();
  WindowRun run(exe, Args());
  HWND w = run.Window();
  ASSERT_TRUE(w);
  auto second = it::RunInstaller(it::CopyInstaller(kWindowed), Args());
  EXPECT_EQ(second.exitCode, 0u);
  EXPECT_TRUE(it::HasLine(second, L"CreateAppInstance return true"));
  EXPECT_TRUE(it::Hooks(second).empty());
  EXPECT_EQ(GetForegroundWindow(), w);
}

TEST_F(InstallerWindow, KeyboardOnlyInstall) {
  WindowRun run(Windowed(), Args());
  HWND w = run.Window();
  ASSERT_TRUE(w);
  UiDriver ui(w);
  SetForegroundWindow(w);
  // Tab to the install button, untick the desktop option on the way.
  bool installFocused = false;
  for (int i = 0; i < 20 && !installFocused; ++i) {
    ui.Key(VK_TAB);
    Sleep(150);
    UiElement e;
    if (ui.Find(L"创建桌面快捷方式", e) && e.focused() && e.checked()) ui.Key(VK_SPACE);
    installFocused = ui.Find(kInstall, e) && e.focused();
  }
  ASSERT_TRUE(installFocused);
  ui.Key(VK_SPACE);
  ASSERT_TRUE(ui.WaitForElement(kStart, STATE_SYSTEM_FOCUSED, 60000));
  ui.Key(VK_RETURN);
  ASSERT_TRUE(run.Ended(20000));
  auto r = run.Finish();
  EXPECT_EQ(it::Hooks(r).back(), L"BrixSE_AfterComplete");
  EXPECT_EQ(Set(r, L"DesktopShortcutChk"), L"false");
}

// A screen reader hears the progress change through value events.
int g_valueEvents = 0;
DWORD g_watchedPid = 0;
void CALLBACK OnValueChange(HWINEVENTHOOK, DWORD, HWND w, LONG, LONG, DWORD, DWORD) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == g_watchedPid) ++g_valueEvents;
}

TEST_F(InstallerWindow, ProgressValueChangesReachAScreenReader) {
  WindowRun run(Windowed(), Args({L"/TestBusy", L"3000"}));
  HWND w = run.Window();
  ASSERT_TRUE(w);
  GetWindowThreadProcessId(w, &g_watchedPid);
  g_valueEvents = 0;
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_VALUECHANGE, EVENT_OBJECT_VALUECHANGE, nullptr, OnValueChange,
                                       g_watchedPid, 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_TRUE(hook);
  UiDriver ui(w);
  ASSERT_TRUE(ui.Click(kInstall));
  // Out-of-context events arrive through this thread's message queue.
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 4000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(20);
  }
  UnhookWinEvent(hook);
  EXPECT_GE(g_valueEvents, 10);
  UiElement bar;
  bool found = false;
  for (const auto& e : ui.List())
    if (e.role == ROLE_SYSTEM_PROGRESSBAR && e.visible()) bar = e, found = true;
  ASSERT_TRUE(found);
  EXPECT_GT(_wtoi(bar.value.c_str()), 10);
}

// --- the sample, as a person installs it ----------------------------------------

// The files the system will delete at the next restart, NUL-separated.
std::wstring PendingDeletions() {
  const wchar_t key[] = L"System\\CurrentControlSet\\Control\\Session Manager";
  DWORD size = 0;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, nullptr,
                   &size) != ERROR_SUCCESS)
    return L"";
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr, &data[0],
                   &size) != ERROR_SUCCESS)
    return L"";
  data.resize(size / sizeof(wchar_t));
  return data;
}

class SampleWindowInstall : public InstallerWindow {
 protected:
  void SetUp() override {
    InstallerWindow::SetUp();
    menu_ = Folder(CSIDL_COMMON_PROGRAMS) + L"\\Quillon";
    desktopLink_ = Folder(CSIDL_DESKTOPDIRECTORY) + L"\\Quillon.lnk";
    record_ = root_ + L"\\stat-calls.txt";
    Clean();
  }
  void TearDown() override {
    Clean();
    InstallerWindow::TearDown();
  }
  static std::wstring Folder(int csidl) {
    wchar_t buf[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE);
    return buf;
  }
  void Clean() {
    testsupport::RemoveTree(menu_);
    DeleteFileW(desktopLink_.c_str());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Quillon");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon");
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon");
  }
  std::wstring menu_, desktopLink_, record_;
};

TEST_F(SampleWindowInstall, FromFirstViewToProductStart) {
  harness::ListeningWindow listener;
  ASSERT_TRUE(listener.Handle());
  const std::wstring exe = it::CopyInstaller(kSample);
  const std::string host = CounterHost("4711");
  ASSERT_TRUE(it::ReplaceResource(exe, L"CFG", L"COUNTER_HOST", &host));
  WindowRun run(exe,
                {L"/InstallListenWnd", std::to_wstring(reinterpret_cast<uintptr_t>(listener.Handle()))},
                harness::PressOkOrCancel, {{L"QUILL_STAT_RECORD", record_}});
  HWND w = run.Window();
  ASSERT_TRUE(w);
  // The skin's size at the display's scale.
  RECT rc;
  GetClientRect(w, &rc);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(rc.right, MulDiv(640, dpi, 96));
  EXPECT_EQ(rc.bottom, MulDiv(500, dpi, 96));

  UiDriver ui(w);
  ASSERT_TRUE(ui.ReplaceText(kPathEdit, folder_));
  ASSERT_TRUE(SetOption(ui, L"创建桌面快捷方式", false));  // not wanted
  ASSERT_TRUE(ui.Click(kInstall));
  ASSERT_TRUE(ui.WaitForElement(kStart, STATE_SYSTEM_FOCUSED, 90000));
  EXPECT_TRUE(listener.WaitForMessage(3014, 5000));
  EXPECT_TRUE(Shows(ui, L"微信扫码加入“用户交流群”"));
  ASSERT_TRUE(ui.Click(kStart));
  ASSERT_TRUE(run.Ended(30000));
  auto r = run.Finish();
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty());

  for (const wchar_t* f : {L"Quillon.exe", L"qvstat.dll", L"readme.txt", L"docs\\guide.txt", L"uninst.exe"})
    EXPECT_TRUE(testsupport::FileExists(folder_ + L"\\" + f)) << harness::ToUtf8(f);
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", L"InstallPath", RRF_RT_REG_SZ, nullptr, value,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value), folder_);
  DWORD mark = 0;
  size = sizeof mark;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", L"Install", RRF_RT_REG_DWORD, nullptr, &mark,
                         &size),
            ERROR_SUCCESS);
  EXPECT_EQ(mark, 1u);
  EXPECT_TRUE(testsupport::FileExists(menu_ + L"\\Quillon.lnk"));
  EXPECT_FALSE(testsupport::FileExists(desktopLink_));  // unticked
  size = sizeof value;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"Quillon",
                         RRF_RT_REG_SZ, nullptr, value, &size),
            ERROR_SUCCESS);  // the auto-start option stayed ticked

  // Started by the start button, at the shell's level.
  const std::wstring started = folder_ + L"\\started.txt";
  for (int i = 0; i < 200 && !testsupport::FileExists(started); ++i) Sleep(50);
  EXPECT_EQ(harness::ReadProductStarts(started).size(), 1u);

  // The base log is scheduled for deletion at restart; the installer is not.
  const std::wstring pending = PendingDeletions();
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_NE(pending.find(std::wstring(temp) + L"QuillClientInstall.log"), std::wstring::npos);
  EXPECT_EQ(pending.find(exe), std::wstring::npos);

  const std::string calls = testsupport::ReadFileBytes(record_);
  EXPECT_NE(calls.find("25104"), std::string::npos) << calls;
  EXPECT_NE(calls.find("25105"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("25103"), std::string::npos) << calls;
}

}  // namespace

namespace {

struct ChildInfo {
  HWND hwnd;
  std::wstring cls, text;
  int id;
};

BOOL CALLBACK CollectChild(HWND w, LPARAM all) {
  wchar_t cls[64] = {}, text[256] = {};
  GetClassNameW(w, cls, 64);
  GetWindowTextW(w, text, 256);
  reinterpret_cast<std::vector<ChildInfo>*>(all)->push_back({w, cls, text, GetDlgCtrlID(w)});
  return TRUE;
}

struct DialogSearch {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK FindProcessDialog(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<DialogSearch*>(param);
  wchar_t cls[16] = {};
  GetClassNameW(w, cls, 16);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == s->pid && std::wstring(cls) == L"#32770" && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

// The system's folder dialog, opened by the folder button and driven as a
// person would: the folder typed into its name box, then its OK button (or
// Cancel when `folder` is empty). Returns the path edit's text afterwards.
std::wstring PickThroughTheDialog(const std::wstring& exe,
                                 const std::vector<std::wstring>& args, const std::wstring& folder) {
  // Only the folder dialog opens here; it is the test's to press.
  WindowRun run(exe, args, [](const harness::MessageBoxRecord&) { return 0; });
  HWND w = run.Window();
  if (!w) return L"<no window>";
  UiDriver ui(w);
  if (!ui.Click(L"浏览")) return L"<no folder button>";
  DialogSearch s{0, nullptr};
  GetWindowThreadProcessId(w, &s.pid);
  for (int i = 0; i < 100 && !s.found; ++i) {
    Sleep(100);
    EnumWindows(FindProcessDialog, reinterpret_cast<LPARAM>(&s));
  }
  if (!s.found) return L"<no dialog>";
  std::vector<ChildInfo> all;
  EnumChildWindows(s.found, CollectChild, reinterpret_cast<LPARAM>(&all));
  HWND name = nullptr;
  for (const auto& c : all)
    if (c.cls == L"Edit" && c.id == 1152) name = c.hwnd;
  if (!name) return L"<no name box>";
  if (folder.empty()) {
    PostMessageW(GetDlgItem(s.found, IDCANCEL), BM_CLICK, 0, 0);
  } else {
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(folder.c_str()));
    PostMessageW(GetDlgItem(s.found, IDOK), BM_CLICK, 0, 0);
  }
  for (int i = 0; i < 100 && IsWindow(s.found); ++i) Sleep(50);
  if (IsWindow(s.found)) return L"<dialog stayed>";
  Sleep(200);
  return ValueOf(ui, kPathEdit);
}

TEST_F(InstallerWindow, FolderDialogGivesTheChosenFolderWithTheBaseFolder) {
  CreateDirectoryW((root_ + L"\\Apps").c_str(), nullptr);
  CreateDirectoryW((root_ + L"\\Harlow").c_str(), nullptr);
  const std::wstring exe = Windowed();
  EXPECT_EQ(PickThroughTheDialog(exe, Args(), root_ + L"\\Apps"), root_ + L"\\Apps\\Harlow");
  EXPECT_EQ(PickThroughTheDialog(exe, Args(), root_ + L"\\Harlow"), root_ + L"\\Harlow");
  EXPECT_EQ(PickThroughTheDialog(exe, Args(), L"C:\\"), L"C:\\Harlow");
  // Cancelled: the edit keeps its text.
  EXPECT_EQ(PickThroughTheDialog(exe, Args(), L""), folder_);
}

}  // namespace
