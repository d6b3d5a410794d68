#include "startup.h"

#include <shlwapi.h>

#include <atomic>
#include <string>

#include "brixscriptengine.h"
#include "brixui.h"
#include "cmdline.h"
#include "comsession.h"
#include "dlginstall.h"
#include "handles.h"
#include "installmgr.h"
#include "installsequence.h"
#include "installworker.h"
#include "ownresource.h"
#include "pathutil.h"
#include "productconstants.h"
#include "productlaunch.h"
#include "runmode.h"
#include "singleinstance.h"
#include "strconv.h"
#include "tambaselog.h"
#include "tamstatmodule.h"
#include "trace.h"

namespace brix {
namespace {

std::atomic<HWND> g_listenWindow{nullptr};

// How long the listening window may take to handle the notice. Sent, so the
// notice has arrived when the installer ends; but a listener that stopped
// answering must not hold an unattended install for ever.
constexpr UINT kListenerReplyMs = 10000;

void NotifyListener() {
  HWND listener = g_listenWindow.load();
  if (listener && !IsWindow(listener)) {
    listener = FindWindowW(product::kListenWindowClass, nullptr);
    g_listenWindow.store(listener);
  }
  if (!listener) return;
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(listener, product::kInstallFinishedMessage, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                           kListenerReplyMs, &answer))
    Trace(L"Install-finished notice to the listening window %p abandoned, error %u\r\n", listener,
          static_cast<unsigned>(GetLastError()));
}

// The installer's own effects around the hooks.
class SystemEffects : public InstallEffects {
 public:
  explicit SystemEffects(ComGdiplusSession& session) : session_(session) {}
  void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                    bool shellLevel) override {
    brix::StartProduct(folder, program, parameters, shellLevel);
  }
  void EndStatistics() override { TamStatModule::Instance()->Uninit(); }
  void NotifyListener() override { brix::NotifyListener(); }
  void EndComSession() override { session_.End(); }
  void DeleteAtRestart(const std::wstring& path) override {
    MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
  void ReportAction(int action) override { TamStatModule::Instance()->AddAction(action); }

 private:
  ComGdiplusSession& session_;
};

void SetDpiAwareness() {
  HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  if (!shcore) return;
  using SetAwareness = HRESULT(WINAPI*)(int);
  if (auto set = reinterpret_cast<SetAwareness>(
          reinterpret_cast<void*>(GetProcAddress(shcore, "SetProcessDpiAwareness"))))
    set(2);  // per monitor; refused when the process already is, which is no error
  FreeLibrary(shcore);
}

// The user closed the window by the system's means (Alt+F4, the task bar)
// while the worker still runs a hook. The process's clean-up would pull the
// script state, the statistics module and libcurl away under it, so the
// process ends here, with its log written out.
[[noreturn]] void EndDuringInstall(const std::wstring& logPath) {
  Trace(L"install window closed while the install was running\r\n");
  BRIX_LOG_INFO("install window closed while the install was running");
  if (auto& logger = CTamBaseLog::Instance().Logger()) logger->flush();
  MoveFileExW(logPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  TerminateProcess(GetCurrentProcess(), 0);
  ExitProcess(0);
}

// Window mode: the window drives the remaining steps from its message loop.
void RunWindow(HINSTANCE instance, BrixScriptEngine& engine, InstallSequence& sequence, SystemEffects& effects,
               ComGdiplusSession& session, const std::wstring& logPath) {
  brixui::CPaintManagerUI::SetInstance(instance);
  const OwnResource skin(L"ZIP", MAKEINTRESOURCEW(249));
  if (!skin.Found()) {
    BRIX_TRACE_FAILURE(L"LoadResource failed. type : XML, id : LAYOUT.XML");
    return;
  }
  if (!skin.Loaded()) {
    BRIX_TRACE_FAILURE(L"LockResource failed.");
    return;
  }
  if (skin.Size() == 0) {
    Trace(L"ResSize == 0\r\n");
    return;
  }
  // The bytes of a loaded resource stay mapped: the toolkit reads them in place.
  brixui::CPaintManagerUI::SetResourceZip(skin.Data(), skin.Size(), L"");
  SetDpiAwareness();
  InitNetworking();

  {
    CDlgInstall window(engine, sequence, effects);
    // A skin that gives no window ends the process inside Create.
    if (window.Create(nullptr, L"", 0x10CF0000, WS_EX_WINDOWEDGE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT))
      brixui::CPaintManagerUI::MessageLoop();
    else
      Trace(L"installer window could not be created, error %u\r\n", static_cast<unsigned>(GetLastError()));
    if (window.InstallRunning()) EndDuringInstall(logPath);
    brixui::CPaintManagerUI::Term();
    TamStatModule::Instance()->Uninit();
    EndNetworking();
    session.End();
    MoveFileExW(logPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

}  // namespace

HWND ListenWindow() { return g_listenWindow.load(); }
void SetListenWindow(HWND window) { g_listenWindow.store(window); }

int RunInstaller(HINSTANCE instance) {
  const std::wstring logPath = TempFilePath(product::kLogFileName);
  DeleteFileW(logPath.c_str());
  CTamBaseLog::Instance().InitLogger(ToNarrow(logPath.c_str(), CP_THREAD_ACP));

  const CommandLineMap args = CommandLineMap::Build(GetCommandLineW());
  g_listenWindow.store(ListenWindowFrom(args));

  BrixScriptEngine* engine = nullptr;
  try {
    engine = &BrixScriptEngine::Instance();
  } catch (...) {
    return 0;
  }
  // Known silent before the chunks run, so an error in them cannot hold an
  // unattended install either.
  std::wstring silentOption;
  if (args.Lookup(L"InstallSlience", &silentOption) && silentOption == L"true")
    BrixScriptEngine::SetErrorBoxTimeout(kUnattendedErrorBoxMs);
  // Only the main thread runs script code until the window starts its
  // worker; the lock is held for the reads and writes all the same.
  auto lock = engine->LockState();
  if (!engine->DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
    Trace(L"DoResLua failed, GLOBAL_VAR.LUAC");
    return 0;
  }
  if (!engine->DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
    Trace(L"DoResLua failed, INSTSCRIPT.LUAC");
    return 0;
  }
  lua_State* L = engine->GetState();

  const SingleInstanceName name = ChooseSingleInstanceName(L);
  // Null for the first installer, whose own mutex stays open until exit.
  const UniqueHandle otherInstaller(CreateAppInstance(name.baseName, name.appId));
  if (otherInstaller && !MayRunAlongside(args)) {
    Trace(L"CreateAppInstance return true");
    return 0;
  }

  std::wstring requested;
  if (InstallPathFrom(args, &requested) == InstallPathOption::TooLong) {
    Trace(L"InstallPath does not fit 260 units with the product folder, nothing installed!\r\n");
    return 0;
  }

  ComGdiplusSession session;
  CInstallMgr& manager = CInstallMgr::Instance();
  manager.BeforeInit();

  const bool silent = DecideSilent(L, args);
  if (silent) BrixScriptEngine::SetErrorBoxTimeout(kUnattendedErrorBoxMs);
  ApplyCommandLineOverrides(L, args);
  lock.unlock();

  SystemEffects effects(session);
  InstallSequence sequence(*engine, manager, effects);
  if (silent)
    sequence.RunSilent(logPath, OwnExecutablePath());
  else
    RunWindow(instance, *engine, sequence, effects, session, logPath);
  return 0;
}

}  // namespace brix
