#include "startup.h"

#include <objbase.h>
#include <shlwapi.h>
// GDI+ needs min/max from windows.h, which NOMINMAX hides.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <atomic>
#include <cwchar>
#include <string>

#include "brixprocesstoolhelp.h"
#include "brixscriptengine.h"
#include "cmdline.h"
#include "installmgr.h"
#include "ownresource.h"
#include "scriptglobals.h"
#include "strconv.h"
#include "tambaselog.h"
#include "tamstatmodule.h"
#include "trace.h"

namespace brix {
namespace {

std::atomic<HWND> g_listenWindow{nullptr};

// GDI+ once per process, shut down at process exit.
class GdiplusSession {
 public:
  static void Start() { static GdiplusSession session; }
  ~GdiplusSession() {
    if (token_) Gdiplus::GdiplusShutdown(token_);
  }

 private:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;  // version 1, all else zero
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
  }
  ULONG_PTR token_ = 0;
};

std::wstring BaseLogPath() {
  wchar_t buf[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buf);
  PathAddBackslashW(buf);
  return std::wstring(buf) + L"QuillClientInstall.log";
}

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool DecideSilent(lua_State* L, const CommandLineMap& args) {
  const bool enableSs = ReadGlobalFlag(L, "global_enable_ss_install");
  std::wstring value;
  if (args.Lookup(L"InstallSlience", &value) && value == L"true") return true;
  return enableSs ? ReadGlobalFlag(L, "global_ss_install") : false;
}

void ApplyOptions(lua_State* L, const CommandLineMap& args) {
  std::wstring path;
  if (args.Lookup(L"InstallPath", &path) && !path.empty()) {
    if (!EndsWith(path, kProductFolderName)) {
      wchar_t buf[MAX_PATH] = {};
      lstrcpynW(buf, path.c_str(), MAX_PATH);
      PathAppendW(buf, kProductFolderName);
      path = buf;
    }
    WriteGlobalText(L, "global_install_path", path);
  }
  std::wstring normal;
  if (args.Lookup(L"InstallNormalQuillon", &normal) && wcstol(normal.c_str(), nullptr, 10) == 1)
    WriteGlobalFlag(L, "ShouldStartWithWindowsChk", true);
}

void NotifyListener() {
  HWND listener = g_listenWindow.load();
  if (listener && !IsWindow(listener)) {
    listener = FindWindowW(kListenWindowClass, nullptr);
    g_listenWindow.store(listener);
  }
  if (listener) SendMessageW(listener, kInstallFinishedMessage, 0, 0);
}

void RunSilent(lua_State* L, const std::wstring& logPath) {
  WriteGlobalFlag(L, "global_ss_install", true);
  Trace(L"global_ss_install==true ~!\r\n");
  Trace(L"start ss install!");
  const std::wstring installPath = ReadGlobalText(L, "global_install_path");
  WriteGlobalText(L, "InstallPath", installPath);

  CInstallMgr& mgr = CInstallMgr::Instance();
  mgr.BeforeInstall();
  mgr.InstallExecute();
  mgr.BeforeComplete();

  StartProduct(installPath, ReadGlobalText(L, "global_main_app_name"), ReadGlobalText(L, "global_start_parameter"),
               ReadGlobalFlag(L, "global_startuseexplorer_level"));
  mgr.AfterComplete();
  TamStatModule::Instance()->Uninit();
  NotifyListener();
  CoUninitialize();

  MoveFileExW(logPath.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  MoveFileExW(self, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

// Window mode set-up: the skin archive the window builds itself from.
void RunWindow(HINSTANCE instance) {
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
  CoUninitialize();
}

}  // namespace

HWND ListenWindow() { return g_listenWindow.load(); }
void SetListenWindow(HWND window) { g_listenWindow.store(window); }

int RunInstaller(HINSTANCE instance) {
  const std::wstring logPath = BaseLogPath();
  DeleteFileW(logPath.c_str());
  CTamBaseLog::Instance().InitLogger(ToNarrow(logPath.c_str(), CP_THREAD_ACP));

  const CommandLineMap args = CommandLineMap::Build(GetCommandLineW());
  std::wstring listen;
  if (args.Lookup(L"InstallListenWnd", &listen))
    g_listenWindow.store(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(listen.c_str(), nullptr, 10))));

  BrixScriptEngine* engine = nullptr;
  try {
    engine = &BrixScriptEngine::Instance();
  } catch (...) {
    return 0;
  }
  if (!engine->DoResLua(L"LUA", L"GLOBAL_VAR.LUAC")) {
    Trace(L"DoResLua failed, GLOBAL_VAR.LUAC");
    return 0;
  }
  if (!engine->DoResLua(L"LUA", L"INSTSCRIPT.LUAC")) {
    Trace(L"DoResLua failed, INSTSCRIPT.LUAC");
    return 0;
  }
  lua_State* L = engine->GetState();

  std::wstring mutexName = ReadGlobalText(L, "global_install_mutex_guid");
  int appId = ReadGlobalInteger(L, "global_app_id");
  if (mutexName.empty())
    mutexName = kDefaultMutexName;
  else
    appId = 0;
  HANDLE instanceHandle = CreateAppInstance(mutexName, appId);
  if (instanceHandle && !args.Lookup(L"InstallSlience")) {
    Trace(L"CreateAppInstance return true");
    CloseHandle(instanceHandle);
    return 0;
  }

  CoInitialize(nullptr);
  GdiplusSession::Start();
  CInstallMgr::Instance().BeforeInit();

  const bool silent = DecideSilent(L, args);
  ApplyOptions(L, args);
  if (silent)
    RunSilent(L, logPath);
  else
    RunWindow(instance);

  if (instanceHandle) CloseHandle(instanceHandle);
  return 0;
}

}  // namespace brix
