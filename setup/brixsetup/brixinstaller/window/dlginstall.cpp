#include "dlginstall.h"

#include <shellapi.h>

#include <cwchar>

#include "brixscriptengine.h"
#include "installpath.h"
#include "installsequence.h"
#include "installworker.h"
#include "pathutil.h"
#include "productconstants.h"
#include "productlaunch.h"
#include "progressdisplay.h"
#include "configglobals.h"
#include "scriptglobals.h"
#include "skincontrols.h"
#include "strconv.h"
#include "trace.h"

namespace brix {

using namespace brixui;

namespace {

// Statistics actions reported at completion.
constexpr int kDesktopShortcutChosen = 25103;
constexpr int kDesktopShortcutNotChosen = 25104;
constexpr int kAutoStartChosen = 25105;
constexpr int kAutoStartNotChosen = 25106;

constexpr uint32_t kNumberColour = 0xFF1FC880;
constexpr int kNumberFont = 18;

// The toolkit class name of each control class the window keeps, so a
// lookup cannot disagree with the table the packer checks skins against.
template <class T>
constexpr const char* kClassName = nullptr;
template <> constexpr const char* kClassName<CTabLayoutUI> = "TabLayout";
template <> constexpr const char* kClassName<CVerticalLayoutUI> = "VerticalLayout";
template <> constexpr const char* kClassName<CHorizontalLayoutUI> = "HorizontalLayout";
template <> constexpr const char* kClassName<CRichEditUI> = "RichEdit";
template <> constexpr const char* kClassName<COptionUI> = "Option";
template <> constexpr const char* kClassName<CButtonUI> = "Button";
template <> constexpr const char* kClassName<CLabelUI> = "Label";
template <> constexpr const char* kClassName<CProgressUI> = "Progress";

constexpr bool SameText(const char* a, const char* b) {
  return *a == *b && (*a == '\0' || SameText(a + 1, b + 1));
}

// The control of skincontrols.h, inside its view when it has one; null when
// the skin lacks it or has it with another class.
template <class T, const skin::SkinControl& C>
T* Lookup(CPaintManagerUI& pm) {
  static_assert(kClassName<T> && SameText(kClassName<T>, C.className), "class differs from skincontrols.h");
  CControlUI* view = nullptr;
  if (const skin::SkinControl* inside = C.view) {
    view = pm.FindControl(Utf8ToWide(inside->name).c_str());
    if (!view) return nullptr;
  }
  const std::wstring name = Utf8ToWide(C.name);
  return ControlCast<T>(view ? pm.FindSubControlByName(view, name.c_str()) : pm.FindControl(name.c_str()));
}

}  // namespace

CDlgInstall::CDlgInstall(BrixScriptEngine& engine, InstallSequence& sequence, InstallEffects& effects)
    : engine_(engine), sequence_(sequence), effects_(effects) {
  MapNotify(L"click", Utf8ToWide(skin::kBtnClose.name).c_str(), [this](TNotifyUI&) { OnCloseRequest(); });
  MapNotify(L"click", Utf8ToWide(skin::kBtnLicenceLink.name).c_str(), [this](TNotifyUI&) { OnLicenceLink(); });
  MapNotify(L"click", Utf8ToWide(skin::kBtnInstall.name).c_str(), [this](TNotifyUI&) { OnInstallRequest(); });
  MapNotify(L"click", Utf8ToWide(skin::kBtnSelectPath.name).c_str(), [this](TNotifyUI&) { OnSelectFolder(); });
  MapNotify(L"click", Utf8ToWide(skin::kBtnStart.name).c_str(), [this](TNotifyUI&) { StartInstalledProduct(); });
  MapNotify(L"selectchanged", Utf8ToWide(skin::kCheckLicence.name).c_str(), [this](TNotifyUI&) { OnLicenceChanged(); });
  MapNotify(L"timer", L"", [this](TNotifyUI& msg) { OnTimerNotify(msg); });
}

// The controls belong to the paint manager.
CDlgInstall::~CDlgInstall() = default;

bool CDlgInstall::InstallRunning() const { return installStarted_ && InstallWorkerRunning(); }

LPCWSTR CDlgInstall::WindowClassName() const { return product::kInstallerWindowClass; }

std::wstring CDlgInstall::SkinFile() { return Utf8ToWide(skin::kLayoutFile); }

void CDlgInstall::OnInitWindow() {
  SetIcon(128);
  {
    const auto lock = engine_.LockState();
    const std::wstring title = ReadGlobalText(engine_.GetState(), globals::kProductName) + L"安装";
    SetWindowTextW(m_hWnd, title.c_str());
  }
  m_tab = Lookup<CTabLayoutUI, skin::kTabMain>(m_pm);
  m_initView = Lookup<CVerticalLayoutUI, skin::kVertInitView>(m_pm);
  m_installView = Lookup<CVerticalLayoutUI, skin::kVertInstallView>(m_pm);
  m_updateView = Lookup<CVerticalLayoutUI, skin::kVertUpdateView>(m_pm);
  m_completeView = Lookup<CVerticalLayoutUI, skin::kVertCompleteView>(m_pm);
  m_infoTipView = Lookup<CVerticalLayoutUI, skin::kVertInfoTipView>(m_pm);
  m_numberRow = m_completeView ? Lookup<CHorizontalLayoutUI, skin::kHorizNumber>(m_pm) : nullptr;
  m_captionButtons = Lookup<CHorizontalLayoutUI, skin::kHorizCaptionBtn>(m_pm);
  if (m_initView) {
    m_pathEdit = Lookup<CRichEditUI, skin::kEditInstallPath>(m_pm);
    m_desktopShortcut = Lookup<COptionUI, skin::kCheckDesktopLaunch>(m_pm);
    m_autoStart = Lookup<COptionUI, skin::kCheckAutoStartup>(m_pm);
    m_licence = Lookup<COptionUI, skin::kCheckLicence>(m_pm);
    m_installButton = Lookup<CButtonUI, skin::kBtnInstall>(m_pm);
  }
  if (m_completeView) {
    m_startButton = Lookup<CButtonUI, skin::kBtnStart>(m_pm);
    m_completeTitle = Lookup<CLabelUI, skin::kLabelTitleComplete>(m_pm);
  }
  if (m_installView) {
    m_progress = Lookup<CProgressUI, skin::kProgressInstall>(m_pm);
    m_progressLabel = Lookup<CLabelUI, skin::kLabelInstallValue>(m_pm);
  }
  // The DPI scale was applied when the skin was built, before this runs.
  PrepareInitView();
  CenterWindow();
}

void CDlgInstall::PrepareInitView() {
  if (!m_initView || !m_completeTitle) return;
  const auto lock = engine_.LockState();
  lua_State* L = engine_.GetState();
  if (m_autoStart) {
    m_autoStart->SetVisible(ReadGlobalFlag(L, globals::kStartupCheckVisible));
    m_autoStart->Selected(ReadGlobalFlag(L, globals::kStartupCheck), true);
  }
  if (m_pathEdit)
    m_pathEdit->SetText(ResolvePathPlaceholder(m_pathEdit->GetText(), [L](const std::string& name) {
      return ReadGlobalText(L, name.c_str());
    }));
}

void CDlgInstall::OnCloseRequest() {
  if (m_completeView && m_completeView->IsEffectivelyVisible()) {
    Close(1);
    return;
  }
  if (MessageBoxW(m_hWnd, L"您确定要退出安装程序？", L"提醒", MB_OKCANCEL | MB_ICONQUESTION) == IDOK)
    PostMessage(WM_CLOSE, 2, 0);
}

void CDlgInstall::OnLicenceLink() {
  std::wstring url;
  {
    const auto lock = engine_.LockState();
    url = ReadGlobalText(engine_.GetState(), globals::kLicenceUrl);
  }
  ShellExecuteW(nullptr, nullptr, url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CDlgInstall::OnLicenceChanged() {
  if (m_licence && m_installButton) m_installButton->SetEnabled(m_licence->IsSelected());
}

void CDlgInstall::OnSelectFolder() {
  if (!m_pathEdit) return;
  std::wstring chosen;
  if (!PickFolder(m_hWnd, FolderDialogStart(m_pathEdit->GetText()), chosen)) return;
  std::wstring base;
  {
    const auto lock = engine_.LockState();
    base = ReadGlobalText(engine_.GetState(), globals::kInstallBasePath);
  }
  m_pathEdit->SetText(ChosenInstallFolder(chosen, base));
}

void CDlgInstall::OnInstallRequest() {
  // A second click queued before the views changed must not start a second
  // install.
  if (!m_pathEdit || installStarted_) return;
  std::wstring path = m_pathEdit->GetText();
  if (!IsLegalInstallPath(path)) {
    MessageBoxW(m_hWnd, L"安装路径非法，请重新修改！", L"错误", MB_ICONWARNING);
    return;
  }
  path = WithoutTrailingBackslash(path);
  std::wstring backup, need;
  {
    const auto lock = engine_.LockState();
    lua_State* L = engine_.GetState();
    const std::wstring target = m_pathEdit->GetUserData();
    if (!target.empty()) WriteGlobalText(L, WideToUtf8(target).c_str(), path);
    if (m_initView) {
      for (CControlUI* c : m_pm.FindSubControlsByClass(m_initView, L"Option")) {
        auto* option = ControlCast<COptionUI>(c);
        if (option && !option->GetUserData().empty())
          WriteGlobalFlag(L, WideToUtf8(option->GetUserData()).c_str(), option->IsSelected());
      }
    }
    backup = ReadGlobalText(L, globals::kBackupPath);
    need = ReadGlobalText(L, globals::kNeedDiskSpace);
  }
  if (!backup.empty()) {
    Trace(L"backpath = %s", backup.c_str());
    if (!IsLegalInstallPath(backup)) {
      MessageBoxW(m_hWnd, L"备份路径非法，请重新修改！", L"错误", MB_ICONWARNING);
      return;
    }
  }
  const uint64_t needed = ParseNeededBytes(need);
  if (FreeBytesOfDrive(path) < needed) {
    MessageBoxW(m_hWnd, DiskSpaceMessage(needed).c_str(), L"提示", MB_ICONINFORMATION);
    return;
  }
  sequence_.BeforeInstall();
  StartInstall();
}

void CDlgInstall::StartInstall() {
  if (!m_tab || !m_installView || !m_progress || !m_captionButtons) return;
  installStarted_ = true;
  m_tab->SelectItem(m_installView, true);
  m_captionButtons->SetVisible(false);
  {
    const auto lock = engine_.LockState();
    WriteGlobalNumber(engine_.GetState(), globals::kInstallProgressElapse,
                      PayloadProgressFigure(PayloadResourceSize()));
  }
  if (!StartInstallWorker(m_hWnd, sequence_)) {
    // No thread: tell the user instead of showing a progress that never ends.
    Trace(L"install worker could not be started\r\n");
    MessageBoxW(m_hWnd, L"无法启动安装线程，请重新运行安装程序。", L"错误", MB_ICONERROR);
    Close(2);
    return;
  }
  StartProgress();
}

void CDlgInstall::StartProgress() {
  m_progress->SetValue(0);
  m_progress->SetTimer(kProgressTimerId, kProgressTickMs);
  m_installView->SetTimer(kBackgroundTimerId, static_cast<UINT>(m_installView->GetTag()));
  m_installView->SetTag(0);
}

void CDlgInstall::OnTimerNotify(TNotifyUI& msg) {
  if (msg.pSender && msg.pSender == m_installView && msg.wParam == kBackgroundTimerId)
    OnBackgroundChange();
  else if (msg.pSender && msg.pSender == m_progress && msg.wParam == kProgressTimerId)
    OnProgressTick();
}

void CDlgInstall::OnBackgroundChange() {
  const int next = m_installView->GetTag() == 0 ? 1 : 0;
  m_installView->SetTag(next);
  m_installView->SetBkImage(InstallBackgroundImage(next));
}

void CDlgInstall::OnProgressTick() {
  if (m_progress->GetValue() + 1 < m_progress->GetMaxValue()) m_progress->SetValue(m_progress->GetValue() + 1);
  UpdateProgressLabel();
  PublishPosition(m_progress->GetValue());
  if (m_progress->GetValue() >= m_progress->GetMaxValue()) Complete(m_queryNumber);
}

void CDlgInstall::PublishPosition(int value) {
  // Never waits for a hook: a tick that finds the state busy skips its
  // publication, and the next one writes the newer value.
  auto lock = engine_.TryLockState();
  if (!lock.owns_lock()) return;
  WriteGlobalNumber(engine_.GetState(), globals::kInstallProgressPos, value);
}

void CDlgInstall::UpdateProgressLabel() {
  if (m_progressLabel && m_progress) m_progressLabel->SetText(ProgressLabelText(m_progress->GetValue()));
}

LRESULT CDlgInstall::OnCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (msg == product::kInstallDoneMessage && m_progress) {
    m_queryNumber = static_cast<int>(wParam);
    m_progress->SetValue(m_progress->GetMaxValue());
  }
  return WindowImplBase::OnCustomMessage(msg, wParam, lParam, handled);
}

void CDlgInstall::Complete(int queryNumber) {
  if (!m_tab || !m_startButton || !m_captionButtons || !m_installView || !m_progress || completed_) return;
  completed_ = true;
  effects_.ReportAction(m_desktopShortcut && m_desktopShortcut->IsSelected() ? kDesktopShortcutChosen
                                                                             : kDesktopShortcutNotChosen);
  effects_.ReportAction(m_autoStart && m_autoStart->IsSelected() ? kAutoStartChosen : kAutoStartNotChosen);
  m_installView->KillTimer(kBackgroundTimerId);
  m_progress->KillTimer(kProgressTimerId);
  m_progress->SetValue(m_progress->GetMaxValue());
  UpdateProgressLabel();
  UpdateWindow(m_hWnd);
  m_captionButtons->SetVisible(true);
  effects_.NotifyListener();
  BringToFront(m_hWnd);
  bool showComplete;
  {
    const auto lock = engine_.LockState();
    showComplete = ReadGlobalFlag(engine_.GetState(), globals::kShowCompleteWindow);
  }
  if (showComplete) {
    m_tab->SelectItem(m_completeView, false);
    m_startButton->SetFocus();
    FillNumberRow(queryNumber);
  } else {
    StartInstalledProduct();
  }
}

void CDlgInstall::FillNumberRow(int queryNumber) {
  if (!m_numberRow) return;
  m_numberRow->RemoveAll();
  const std::wstring digits = std::to_wstring(queryNumber);
  for (wchar_t digit : digits) {
    auto* cell = new CHorizontalLayoutUI;
    cell->SetFixedWidth(28);
    cell->SetFixedHeight(36);
    auto* label = new CLabelUI;
    label->SetFixedWidth(24);
    label->SetText(std::wstring(1, digit));
    label->SetBorderRound(SIZE{2, 2});
    label->SetBorderColor(kNumberColour);
    label->SetBorderSize(Insets{1, 1, 2, 2});
    label->SetAttribute(L"align", L"center");
    label->SetAttribute(L"valign", L"vcenter");
    label->SetFont(kNumberFont);
    label->SetTextColor(kNumberColour);
    label->SetHAlign(HAlign::Center);
    cell->Add(label);
    m_numberRow->Add(cell);
  }
}

void CDlgInstall::StartInstalledProduct() {
  std::wstring folder;
  {
    const auto lock = engine_.LockState();
    folder = ReadGlobalText(engine_.GetState(), globals::kInstallPath);
  }
  // StartProductFrom expands environment references itself.
  sequence_.StartProductFrom(folder);
  sequence_.AfterComplete();
  Close(1);
}

void CDlgInstall::OnEscape() {
  // Esc is no way to abandon a running install half done.
  if (installStarted_ && !completed_) return;
  WindowImplBase::OnEscape();
}

LRESULT CDlgInstall::OnDestroyWindow(UINT, WPARAM, LPARAM, bool& handled) {
  PostQuitMessage(0);
  handled = false;
  return 0;
}

}  // namespace brix
