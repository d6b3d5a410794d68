// Host functions of the process environment: variables, system version,
// log, message box, module path, command line, temporary files.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "scopeguard.h"
#include "tambaselog.h"
#include "trace.h"

namespace brix {

int Lua_RegVarByCSIDL(lua_State* L) {
  const std::wstring name = ArgText(L, 1);
  const int csidl = ArgInt(L, 2);
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) {
    Trace(L"SHGetSpecialFolderPathW csidl=%d failed!\r\n", csidl);
    BRIX_TRACE_FAILURE(L"");
    return PushBool(L, false);
  }
  if (!SetEnvironmentVariableW(name.c_str(), path)) {
    BRIX_TRACE_FAILURE(L"SetEnvironmentVariableW failed!");
    return PushBool(L, false);
  }
  return PushBool(L, true);
}

int Lua_GetOSVersion(lua_State* L) {
  // Only the major version: what the system reports to this process.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  lua_pushnumber(L, LOBYTE(LOWORD(GetVersion())));
#pragma GCC diagnostic pop
  return 1;
}

int Lua_Logout(lua_State* L) {
  const std::wstring text = ArgText(L, 1);
  Trace(L"%s", text.c_str());
  BRIX_LOG_INFO("log:{}", WideToAnsi(text));
  return 0;
}

int Lua_MsgBox(lua_State* L) {
  std::wstring text, caption;
  UINT style = 0;
  const int n = lua_gettop(L);
  if (n >= 1 && n <= 3) {
    text = ArgText(L, 1);
    if (n >= 2) caption = ArgText(L, 2);
    if (n == 3) style = ArgUnsigned(L, 3);
  }
  lua_pushnumber(L, MessageBoxW(nullptr, text.c_str(), caption.c_str(), style));
  return 1;
}

int Lua_IsWow64(lua_State* L) {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  BOOL wow64 = FALSE;
  auto fn = reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process"));
  if (fn && !fn(GetCurrentProcess(), &wow64)) wow64 = FALSE;
  return PushBool(L, wow64 != FALSE);
}

int Lua_GetModuleFileName(lua_State* L) {
  HMODULE module = nullptr;
  if (lua_gettop(L) >= 1) module = GetModuleHandleW(ArgText(L, 1).c_str());
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  PushText(L, path);
  return 1;
}

int Lua_GetCommandLineArgv(lua_State* L) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return 0;
  BRIX_ON_EXIT(LocalFree(argv));
  if (argc < 1) return 0;
  lua_createtable(L, argc, 0);
  for (int i = 0; i < argc; ++i) {
    PushText(L, argv[i]);
    lua_rawseti(L, -2, i + 1);
  }
  return 1;
}

int Lua_GetTempFileName(lua_State* L) {
  std::wstring folder;
  ExpandPath(ArgText(L, 1), folder);
  const std::wstring prefix = ArgText(L, 2);
  wchar_t path[MAX_PATH] = {};
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, path)) {
    lua_pushnil(L);
    return 1;
  }
  PushText(L, path);
  return 1;
}

int Lua_GetTempPath(lua_State* L) {
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH, path);
  if (n == 0 || n > MAX_PATH) {
    Trace(L"GetTempPath Failed!");
    PushText(L, L"");
    return 1;
  }
  // The local application-data folder when it can be had: writable and on
  // the system volume. Otherwise the temporary folder stays the answer.
  wchar_t appData[MAX_PATH + 1] = {};
  if (SHGetSpecialFolderPathW(nullptr, appData, CSIDL_LOCAL_APPDATA, FALSE))
    PushText(L, appData);
  else {
    Trace(L"Get Local AppData Failed!");
    PushText(L, path);
  }
  return 1;
}

int Lua_ExpandEnv(lua_State* L) {
  std::wstring expanded;
  // A text that does not expand into 260 units gives the empty text rather
  // than a partial expansion.
  if (lua_gettop(L) > 0) ExpandPath(ArgText(L, -1), expanded);
  PushText(L, expanded.c_str());
  return 1;
}

}  // namespace brix
