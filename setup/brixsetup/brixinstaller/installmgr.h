#pragma once
// Runs the five install hooks in their order (and the uninstaller's three),
// one step at a time. Each step holds the script engine's state lock from
// its start to its end.
namespace brix {

class CInstallMgr {
 public:
  static CInstallMgr& Instance();
  virtual ~CInstallMgr() = default;

  void BeforeInit();
  void BeforeInstall();
  // The on-install hook, then the statistics library is started.
  void InstallExecute();
  // The before-complete hook, then the application-data folder for an
  // installer that carries the marker in its file name.
  void BeforeComplete();
  void AfterComplete();

  // The uninstaller's steps, after the same before-init step.
  void BeforeUninstall();
  void OnUninstall();
  void AfterUninstall();

 private:
  CInstallMgr() = default;
};

}  // namespace brix
