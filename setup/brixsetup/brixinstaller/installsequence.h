#pragma once
// The install's steps after the before-init hook, written once for both run
// modes. Silent mode runs them one after the other on the main thread
// (RunSilent). The installer window calls the same pieces: BeforeInstall on
// its UI thread, InstallFiles on its install worker, then StartProductFrom
// and AfterComplete on the UI thread again.
#include <string>

namespace brix {

class BrixScriptEngine;
class CInstallMgr;

// What the steps do to the machine around the hooks. The installer's own
// implementation acts; a test's records the order.
class InstallEffects {
 public:
  virtual ~InstallEffects() = default;
  virtual void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                            bool shellLevel) = 0;
  // Stops the statistics worker and closes the statistics library.
  virtual void EndStatistics() = 0;
  // The install-finished notice to the listening window, when there is one.
  virtual void NotifyListener() = 0;
  // Ends the run's COM apartment (and GDI+).
  virtual void EndComSession() = 0;
  virtual void DeleteAtRestart(const std::wstring& path) = 0;
  // Queues a statistics action report; returns at once.
  virtual void ReportAction(int action) = 0;
};

class InstallSequence {
 public:
  InstallSequence(BrixScriptEngine& engine, CInstallMgr& manager, InstallEffects& effects)
      : engine_(engine), manager_(manager), effects_(effects) {}

  // The before-install hook.
  void BeforeInstall();
  // The on-install and before-complete hooks: the long part.
  void InstallFiles();
  // Starts <folder>\global_main_app_name with global_start_parameter, at the
  // shell's level when global_startuseexplorer_level says so (those three
  // read now).
  void StartProductFrom(const std::wstring& folder);
  // The after-complete hook.
  void AfterComplete();

  // The whole of silent mode: flags the run as silent, hands the install
  // folder to the chunk as InstallPath, runs the steps, starts the product
  // from the folder as it was before the hooks ran, then ends the run and
  // schedules the base log and the installer itself for deletion. A folder
  // that cannot be used whole (InstallFolderFits) runs no step at all.
  void RunSilent(const std::wstring& logPath, const std::wstring& installerPath);

 private:
  BrixScriptEngine& engine_;
  CInstallMgr& manager_;
  InstallEffects& effects_;
};

}  // namespace brix
