#include "installmgr.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "appdata.h"
#include "brixscriptengine.h"
#include "hooknames.h"
#include "pathutil.h"
#include "productconstants.h"
#include "productsetting.h"
#include "configglobals.h"
#include "scriptglobals.h"
#include "tambaselog.h"
#include "tamstatmodule.h"

namespace brix {
namespace {

// A step: the hook under the state lock, held until the step is over.
BrixScriptEngine::StateLock RunHook(const char* name) {
  BrixScriptEngine& engine = BrixScriptEngine::Instance();
  auto lock = engine.LockState();
  engine.CallHook(name);
  return lock;
}

}  // namespace

CInstallMgr& CInstallMgr::Instance() {
  static CInstallMgr instance;
  return instance;
}

void CInstallMgr::BeforeInit() { RunHook(hooks::kBeforeInit); }

void CInstallMgr::BeforeInstall() { RunHook(hooks::kBeforeInstall); }

void CInstallMgr::InstallExecute() {
  const auto lock = RunHook(hooks::kOnInstall);

  wchar_t library[MAX_PATH] = {};
  lstrcpynW(library, ReadGlobalText(BrixScriptEngine::Instance().GetState(), globals::kInstallPath).c_str(), MAX_PATH);
  // A path too long for the name would leave a folder name the loader
  // completes with ".dll"; the statistics module then uses its own folder.
  if (!PathAppendW(library, product::kStatLibraryName)) library[0] = L'\0';
  const bool started = TamStatModule::Instance()->Init(product::kRegistryKey, StatDispatchHost(), library, L"");
  BRIX_LOG_INFO("TamStatModule Init:{}", started);
}

void CInstallMgr::BeforeComplete() {
  const auto lock = RunHook(hooks::kBeforeComplete);

  const std::wstring self = OwnExecutablePath();
  if (std::wstring(PathFindFileNameW(self.c_str())).find(product::kAppDataMarker) != std::wstring::npos)
    SHCreateDirectory(nullptr, AppDataFolder(product::kFolderName).c_str());
}

void CInstallMgr::AfterComplete() { RunHook(hooks::kAfterComplete); }

void CInstallMgr::BeforeUninstall() { RunHook(hooks::kBeforeUninstall); }

void CInstallMgr::OnUninstall() { RunHook(hooks::kOnUninstall); }

void CInstallMgr::AfterUninstall() { RunHook(hooks::kAfterUninstall); }

}  // namespace brix
