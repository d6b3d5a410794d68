// Host functions for component registration and registration flag bits.
#include <windows.h>
#include <ole2.h>

#include <cwchar>

#include "handles.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "scopeguard.h"
#include "trace.h"

namespace brix {

namespace {

using RegistrationEntry = HRESULT(STDAPICALLTYPE*)();

}  // namespace

int Lua_RegSvr32(lua_State* L) {
  const HRESULT ole = OleInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(ole)) OleUninitialize());

  std::wstring file;
  if (!ExistingArgPath(L, 1, L"Lua_RegSvr32", file)) return PushBool(L, false);
  // As the registration tool does: the component's own folder is searched
  // first for the libraries it needs. Freed before OleUninitialize.
  const UniqueLibrary module(LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  if (!module) {
    Trace(L"Fun:%s, Description: LoadLibrary %s Failed!\r\n", L"Lua_RegSvr32", file.c_str());
    BRIX_TRACE_FAILURE(L"");
    return PushBool(L, false);
  }
  auto entry = reinterpret_cast<RegistrationEntry>(
      GetProcAddress(module.get(), ArgFlag(L, 2) ? "DllRegisterServer" : "DllUnregisterServer"));
  if (!entry) return PushBool(L, false);
  return PushBool(L, SUCCEEDED(entry()));
}

int Lua_RegistDll(lua_State* L) {
  const HRESULT ole = OleInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(ole)) OleUninitialize());

  std::wstring file;
  if (!ExistingArgPath(L, 1, L"Lua_RegistDll", file)) return PushBool(L, false);
  std::wstring commandLine = L"regsvr32 " + ArgText(L, 2) + L" \"" + file + L"\"";
  // The system's own tool, by full path: a regsvr32.exe beside the installer
  // (a downloads folder) is not run. Wide text keeps paths that the ANSI code
  // page cannot spell.
  wchar_t tool[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(tool, MAX_PATH - 14);
  if (length == 0 || length >= MAX_PATH - 14) {
    Trace(L"reg failed!!! %d", static_cast<int>(GetLastError()));
    return PushBool(L, false);
  }
  wcscat(tool, L"\\regsvr32.exe");

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(tool, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Trace(L"reg failed!!! %d", static_cast<int>(GetLastError()));
    return PushBool(L, false);
  }
  // Not waited for: the tool finishes on its own.
  const UniqueHandle thread(process.hThread), child(process.hProcess);
  return PushBool(L, true);
}

int Lua_CefRegister(lua_State* L) {
  const bool set = ArgFlag(L, 1);
  const std::wstring subkey = ArgText(L, 2);
  const std::wstring valueName = ArgText(L, 3);
  const DWORD mask = ArgUnsigned(L, 4);

  UniqueRegKey opened;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ | KEY_WRITE, opened.put()) != ERROR_SUCCESS)
    return PushBool(L, false);
  const HKEY key = opened.get();
  DWORD value = 0, type = 0, size = sizeof value;
  if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return PushBool(L, false);
  value = set ? (value | mask) : (value & ~mask);
  RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return PushBool(L, true);
}

}  // namespace brix
