#include "installmgr.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <string>

#include "appdata.h"
#include "brixscriptengine.h"
#include "productsetting.h"
#include "scriptglobals.h"
#include "tambaselog.h"
#include "tamstatmodule.h"

namespace brix {

CInstallMgr& CInstallMgr::Instance() {
  static CInstallMgr instance;
  return instance;
}

void CInstallMgr::RunHook(const char* name) { BrixScriptEngine::Instance().CallHook(name); }

void CInstallMgr::BeforeInit() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunHook("BrixSE_BeforeInit");
}

void CInstallMgr::BeforeInstall() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunHook("BrixSE_BeforeInstall");
}

void CInstallMgr::InstallExecute() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunHook("BrixSE_OnInstall");

  wchar_t library[MAX_PATH] = {};
  lstrcpynW(library, ReadGlobalText(BrixScriptEngine::Instance().GetState(), "global_install_path").c_str(), MAX_PATH);
  // A path too long for the name would leave a folder name the loader
  // completes with ".dll"; the statistics module then uses its own folder.
  if (!PathAppendW(library, L"qvstat.dll")) library[0] = L'\0';
  const bool started = TamStatModule::Instance()->Init(L"SOFTWARE\\Quillon", StatDispatchHost(), library, L"");
  BRIX_LOG_INFO("TamStatModule Init:{}", started);
}

void CInstallMgr::BeforeComplete() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunHook("BrixSE_BeforeComplete");

  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path(self);
  const size_t slash = path.rfind(L'\\');
  const std::wstring name = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
  if (name.find(L"@ung") != std::wstring::npos) {
    const std::wstring folder = AppDataFolder(L"Quillon");
    SHCreateDirectory(nullptr, folder.c_str());
  }
}

void CInstallMgr::AfterComplete() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  RunHook("BrixSE_AfterComplete");
}

}  // namespace brix
