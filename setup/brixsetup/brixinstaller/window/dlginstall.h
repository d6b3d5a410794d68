#pragma once
// The installer window: the user's choices go to the script state as
// globals, the install runs on a worker (installworker.h), the window shows
// its progress and, at the end, starts the product. It does no installing
// itself. The folder rules are in installpath.h, the progress figures in
// progressdisplay.h.
#include <atomic>
#include <string>

#include "brixui.h"

namespace brix {

class BrixScriptEngine;
class InstallSequence;
class InstallEffects;

class CDlgInstall : public brixui::WindowImplBase {
 public:
  CDlgInstall(BrixScriptEngine& engine, InstallSequence& sequence, InstallEffects& effects);
  ~CDlgInstall() override;

  // Whether the install worker was started and has not finished.
  bool InstallRunning() const;

 protected:
  LPCWSTR WindowClassName() const override;
  std::wstring SkinFile() override;
  void OnInitWindow() override;
  void OnTimerNotify(brixui::TNotifyUI& msg) override;
  LRESULT OnDestroyWindow(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT OnCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void OnEscape() override;

 private:
  void PrepareInitView();
  void OnCloseRequest();
  void OnLicenceLink();
  void OnLicenceChanged();
  void OnSelectFolder();
  void OnInstallRequest();
  void StartInstall();
  void StartProgress();
  void OnProgressTick();
  void OnBackgroundChange();
  void UpdateProgressLabel();
  void Complete(int queryNumber);
  void FillNumberRow(int queryNumber);
  void StartInstalledProduct();
  // Publishes the bar's position unless a hook holds the script state.
  void PublishPosition(int value);

  BrixScriptEngine& engine_;
  InstallSequence& sequence_;
  InstallEffects& effects_;
  bool installStarted_ = false;
  bool completed_ = false;

  int m_queryNumber = 0;
  brixui::CTabLayoutUI* m_tab = nullptr;
  brixui::CVerticalLayoutUI* m_initView = nullptr;
  brixui::CVerticalLayoutUI* m_installView = nullptr;
  brixui::CVerticalLayoutUI* m_updateView = nullptr;
  brixui::CVerticalLayoutUI* m_completeView = nullptr;
  brixui::CVerticalLayoutUI* m_infoTipView = nullptr;
  brixui::CHorizontalLayoutUI* m_numberRow = nullptr;
  brixui::CHorizontalLayoutUI* m_captionButtons = nullptr;
  brixui::CRichEditUI* m_pathEdit = nullptr;
  brixui::COptionUI* m_desktopShortcut = nullptr;
  brixui::COptionUI* m_autoStart = nullptr;
  brixui::COptionUI* m_licence = nullptr;
  brixui::CButtonUI* m_installButton = nullptr;
  brixui::CButtonUI* m_startButton = nullptr;
  brixui::CProgressUI* m_progress = nullptr;
  brixui::CLabelUI* m_progressLabel = nullptr;
  brixui::CLabelUI* m_completeTitle = nullptr;
};

}  // namespace brix
