#include "installsequence.h"

#include "brixscriptengine.h"
#include "installmgr.h"
#include "runmode.h"
#include "configglobals.h"
#include "scriptglobals.h"
#include "trace.h"

namespace brix {

void InstallSequence::BeforeInstall() { manager_.BeforeInstall(); }

void InstallSequence::InstallFiles() {
  manager_.InstallExecute();
  manager_.BeforeComplete();
}

void InstallSequence::StartProductFrom(const std::wstring& folder) {
  std::wstring program, parameters;
  bool shellLevel;
  {
    const auto lock = engine_.LockState();
    lua_State* L = engine_.GetState();
    program = ReadGlobalText(L, globals::kMainAppName);
    parameters = ReadGlobalText(L, globals::kStartParameter);
    shellLevel = ReadGlobalFlag(L, globals::kStartUseExplorerLevel);
  }
  effects_.StartProduct(folder, program, parameters, shellLevel);
}

void InstallSequence::AfterComplete() { manager_.AfterComplete(); }

void InstallSequence::RunSilent(const std::wstring& logPath, const std::wstring& installerPath) {
  std::wstring installPath;
  {
    const auto lock = engine_.LockState();
    lua_State* L = engine_.GetState();
    WriteGlobalFlag(L, globals::kSilentInstall, true);
    Trace(L"global_ss_install==true ~!\r\n");
    Trace(L"start ss install!");
    installPath = ReadGlobalText(L, globals::kInstallPath);
    // The chunk finds the chosen folder under the same name in both modes.
    WriteGlobalText(L, globals::kChosenInstallPath, installPath);
  }
  if (InstallFolderFits(installPath)) {
    BeforeInstall();
    InstallFiles();
    StartProductFrom(installPath);
    AfterComplete();
  } else {
    Trace(L"Install folder \"%s\" does not fit 260 units once expanded, nothing installed!\r\n",
          installPath.c_str());
  }
  effects_.EndStatistics();
  effects_.NotifyListener();
  effects_.EndComSession();
  effects_.DeleteAtRestart(logPath);
  effects_.DeleteAtRestart(installerPath);
}

}  // namespace brix
