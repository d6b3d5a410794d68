#include "uninstaller.h"

#include <string>

#include "brixscriptengine.h"
#include "cmdline.h"
#include "comsession.h"
#include "handles.h"
#include "installmgr.h"
#include "pathutil.h"
#include "productconstants.h"
#include "productsetting.h"
#include "runmode.h"
#include "configglobals.h"
#include "scriptglobals.h"
#include "strconv.h"
#include "tambaselog.h"
#include "trace.h"

namespace brix {
namespace {

// How long the copy that removes the uninstaller waits for it to end.
constexpr DWORD kOwnerExitWaitMs = 30000;

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  std::wstring x = a, y = b;
  while (!x.empty() && x.back() == L'\\') x.pop_back();
  while (!y.empty() && y.back() == L'\\') y.pop_back();
  return !x.empty() && lstrcmpiW(x.c_str(), y.c_str()) == 0;
}

// The copy in the temporary folder: once the uninstaller has ended, its file
// goes, and its folder too when nothing else is left in it (a folder that
// still holds the user's own files stays).
int RunCleanup(const CommandLineMap& args) {
  std::wstring owner, target;
  args.Lookup(L"UninstallCleanup", &owner);
  args.Lookup(L"UninstallTarget", &target);
  if (const DWORD pid = wcstoul(owner.c_str(), nullptr, 10)) {
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (process) WaitForSingleObject(process.get(), kOwnerExitWaitMs);
  }
  if (!target.empty()) {
    for (int tries = 0; tries < 50 && !DeleteFileW(target.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND; ++tries)
      Sleep(100);
    const std::wstring folder = FolderOf(target);
    if (!RemoveDirectoryW(folder.c_str()) && GetLastError() == ERROR_DIR_NOT_EMPTY) {
      CTamBaseLog::Instance().InitLogger(
          ToNarrow(TempFilePath(product::kUninstallLogFileName).c_str(), CP_THREAD_ACP));
      BRIX_LOG_INFO("kept {}: it holds files the product did not install", WideToAnsi(folder));
    }
  }
  // A running program cannot delete itself: the system does at restart.
  const std::wstring self = OwnExecutablePath();
  MoveFileExW(self.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return kUninstallRemoved;
}

// Starts a copy of this program from the temporary folder that removes this
// file once this process has ended.
void RemoveOwnFileAfterExit(const std::wstring& self) {
  wchar_t temp[MAX_PATH + 1] = {}, copy[MAX_PATH] = {};
  if (!GetTempPathW(MAX_PATH, temp) || !GetTempFileNameW(temp, L"qun", 0, copy)) {
    BRIX_TRACE_FAILURE(L"GetTempFileName failed, the uninstaller stays!");
    return;
  }
  if (!CopyFileW(self.c_str(), copy, FALSE)) {
    BRIX_TRACE_FAILURE(L"CopyFile failed, the uninstaller stays!");
    DeleteFileW(copy);
    return;
  }
  std::wstring command = L"\"" + std::wstring(copy) + L"\" /UninstallCleanup " +
                         std::to_wstring(GetCurrentProcessId()) + L" /UninstallTarget \"" + self + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(copy, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    BRIX_TRACE_FAILURE(L"CreateProcess failed, the uninstaller stays!");
    DeleteFileW(copy);
    return;
  }
  const UniqueHandle thread(process.hThread), child(process.hProcess);
}

}  // namespace

bool IsUninstaller() { return ProductSetting(L"ROLE", "installer") == "uninstaller"; }

int RunUninstaller(HINSTANCE) {
  const CommandLineMap args = CommandLineMap::Build(GetCommandLineW());
  if (args.Lookup(L"UninstallCleanup")) return RunCleanup(args);

  CTamBaseLog::Instance().InitLogger(ToNarrow(TempFilePath(product::kUninstallLogFileName).c_str(), CP_THREAD_ACP));
  std::wstring silentOption;
  const bool silent = args.Lookup(L"InstallSlience", &silentOption) && silentOption == L"true";
  BrixScriptEngine::SetScriptErrorExitCode(kUninstallFailed);
  if (silent) BrixScriptEngine::SetErrorBoxTimeout(kUnattendedErrorBoxMs);

  BrixScriptEngine* engine = nullptr;
  try {
    engine = &BrixScriptEngine::Instance();
  } catch (...) {
    return kUninstallFailed;
  }
  auto lock = engine->LockState();
  if (!engine->DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
    Trace(L"DoResLua failed, GLOBAL_VAR.LUAC");
    return kUninstallFailed;
  }
  if (!engine->DoResLua(L"LUA", L"UNINSTSCRIPT.LUAC")) {
    Trace(L"DoResLua failed, UNINSTSCRIPT.LUAC");
    return kUninstallFailed;
  }
  lua_State* L = engine->GetState();

  // The folder the uninstaller was installed in, unless the command line
  // names another.
  const std::wstring self = OwnExecutablePath();
  std::wstring folder;
  if (!args.Lookup(L"InstallPath", &folder) || folder.empty()) folder = FolderOf(self);
  WriteGlobalText(L, globals::kChosenInstallPath, folder);
  WriteGlobalFlag(L, globals::kSilentInstall, silent);
  Trace(L"uninstall from %s%s\r\n", folder.c_str(), silent ? L", silent" : L"");

  ComGdiplusSession session;
  CInstallMgr& manager = CInstallMgr::Instance();
  manager.BeforeInit();

  const std::wstring product = ReadGlobalText(L, globals::kProductName);
  const std::wstring caption = product + L"卸载";
  if (!silent) {
    std::wstring question = ReadGlobalText(L, globals::kUninstallConfirmText);
    if (question.empty()) question = L"您确定要完全移除" + product + L"及其所有组件吗？";
    if (MessageBoxW(nullptr, question.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
      Trace(L"uninstall cancelled\r\n");
      BRIX_LOG_INFO("uninstall cancelled by the user");
      return kUninstallCancelled;
    }
  }

  manager.BeforeUninstall();
  manager.OnUninstall();
  manager.AfterUninstall();

  // A chunk that could not remove what it should says so in this flag.
  const bool failed = ReadGlobalFlag(L, globals::kUninstallFailed);
  Trace(failed ? L"uninstall failed\r\n" : L"uninstall done\r\n");
  BRIX_LOG_INFO("uninstall {}", failed ? "failed" : "done");
  if (!silent) {
    const std::wstring text =
        failed ? product + L"未能完全移除，详情请查看日志。" : product + L"已成功从您的计算机中移除。";
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), failed ? MB_ICONERROR : MB_ICONINFORMATION);
  }
  if (!failed && SameFolder(FolderOf(self), folder)) RemoveOwnFileAfterExit(self);
  return failed ? kUninstallFailed : kUninstallRemoved;
}

}  // namespace brix
