// Host functions for processes, services and privileges.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <vector>

#include "brixprocesstoolhelp.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "productlaunch.h"
#include "handles.h"
#include "systemops.h"
#include "trace.h"

namespace brix {

namespace {

bool VerbIs(const std::wstring& verb, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names)
    if (lstrcmpiW(verb.c_str(), name) == 0) return true;
  return false;
}

const wchar_t* OrNull(const std::wstring& s) { return s.empty() ? nullptr : s.c_str(); }

// Steps 2 and 3 of Lua_TaskKill: argument 1 names the process by id or by
// image name.
bool EndTargetProcess(lua_State* L) {
  ProcessToolHelp tools;
  long long id;
  if (lua_isnumber(L, 1))
    id = static_cast<long long>(lua_tointegerx(L, 1, nullptr));
  else
    id = tools.FindProcessIdByName(ArgText(L, 1));
  // No process has an id outside the DWORD range: nothing to end.
  if (id == ProcessToolHelp::kNoProcess || id < 0 || id > 0xFFFFFFFFLL) return true;
  return tools.KillProcess(static_cast<DWORD>(id));
}

bool QueryOrTrace(SC_HANDLE service, SERVICE_STATUS& status) {
  if (QueryServiceStatus(service, &status)) return true;
  Trace(L"Unknow Error in fun:%s\r\n", L"Lua_SCM");
  BRIX_TRACE_FAILURE(L"");
  return false;
}

// Polls until the state is `target`. A start that falls back to stopped
// has failed; no state is waited for beyond the limit.
bool WaitForServiceState(SC_HANDLE service, const std::wstring& name, SERVICE_STATUS& status, DWORD target,
                         const ServiceWaitLimits& limits) {
  const ULONGLONG end = GetTickCount64() + limits.limitMs;
  for (;;) {
    if (status.dwCurrentState == target) return true;
    if (target == SERVICE_RUNNING && status.dwCurrentState == SERVICE_STOPPED) {
      Trace(L"Fun:Lua_SCM, Description:%s stopped instead of running (exit code %u)!\r\n", name.c_str(),
            static_cast<unsigned>(status.dwWin32ExitCode));
      return false;
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= end) {
      Trace(L"Fun:Lua_SCM, Description:%s still in state %u after %u ms!\r\n", name.c_str(),
            static_cast<unsigned>(status.dwCurrentState), static_cast<unsigned>(limits.limitMs));
      return false;
    }
    DWORD interval = std::min(std::max(status.dwWaitHint, limits.minIntervalMs), limits.maxIntervalMs);
    interval = static_cast<DWORD>(std::min<ULONGLONG>(interval, end - now));
    Sleep(interval);
    if (!QueryOrTrace(service, status)) return false;
  }
}

}  // namespace

bool ControlServiceAndWait(const std::wstring& name, const std::wstring& action, const ServiceWaitLimits& limits) {
  const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, GENERIC_EXECUTE));
  if (!manager) {
    BRIX_TRACE_FAILURE(L"OpenSCManager failed!");
    return false;
  }
  const UniqueServiceHandle serviceHandle(
      OpenServiceW(manager.get(), name.c_str(), SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!serviceHandle) {
    if (GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) return true;  // nothing to control
    BRIX_TRACE_FAILURE(L"OpenService failed!");
    return false;
  }
  const SC_HANDLE service = serviceHandle.get();

  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service, &status)) {
    BRIX_TRACE_FAILURE(L"QueryServiceStatus failed!");
    return false;
  }
  if (lstrcmpiW(action.c_str(), L"start") == 0) {
    if (status.dwCurrentState == SERVICE_STOPPED) {
      if (!StartServiceW(service, 0, nullptr)) {
        BRIX_TRACE_FAILURE(L"StartService failed!");
        return false;
      }
      if (!QueryOrTrace(service, status)) return false;
    }
    return WaitForServiceState(service, name, status, SERVICE_RUNNING, limits);
  }
  if (lstrcmpiW(action.c_str(), L"stop") == 0) {
    if (status.dwCurrentState == SERVICE_RUNNING) {
      if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        BRIX_TRACE_FAILURE(L"StopService failed!");
        return false;
      }
      if (!QueryOrTrace(service, status)) return false;
    }
    return WaitForServiceState(service, name, status, SERVICE_STOPPED, limits);
  }
  Trace(L"Unknow Error in fun:%s\r\n", L"Lua_SCM");
  BRIX_TRACE_FAILURE(L"");
  return false;
}

bool ExitWindowsWithPrivilege(UINT flags, DWORD reason, ExitWindowsFunction exitWindows) {
  ProcessToolHelp::EnableTokenPrivilege(SE_SHUTDOWN_NAME, true);
  return exitWindows(flags, reason) != FALSE;
}

int Lua_Exec(lua_State* L) {
  std::wstring file = ArgText(L, 1);
  const std::wstring verb = ArgText(L, 2);
  std::wstring parameters, folder;
  if (!PathIsURLW(file.c_str())) {
    if (!ExpandArgPath(L, 1, L"Lua_Exec", file)) return PushBool(L, false);
    if (file.empty() || !PathFileExistsW(file.c_str())) {
      if (VerbIs(verb, {L"Startunpin", L"Taskbarunpin"})) return PushBool(L, true);  // nothing to unpin
      TraceMissing(L"Lua_Exec", file);
      return PushBool(L, false);
    }
    parameters = ArgText(L, 3);
    folder = FolderOf(file);
  }

  if (ArgFlag(L, 5)) return PushBool(L, LaunchAtShellLevel(file, parameters) > 31);

  if (ArgFlag(L, 4)) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    // No error box from the shell: it would hold the install until answered.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpFile = file.c_str();
    info.lpParameters = OrNull(parameters);
    info.lpDirectory = OrNull(folder);
    info.nShow = SW_HIDE;
    if (!ShellExecuteExW(&info)) return PushBool(L, false);
    // No handle: an already running program opened the item.
    const UniqueHandle process(info.hProcess);
    if (process) WaitForSingleObject(process.get(), INFINITE);
    return PushBool(L, true);
  }

  const INT_PTR rc = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, OrNull(verb), file.c_str(), OrNull(parameters), OrNull(folder), SW_SHOWNORMAL));
  // What the pin verbs do depends on the Windows version; scripts go on.
  return PushBool(L, rc > 32 || VerbIs(verb, {L"Startpin", L"Startunpin", L"Taskbarpin", L"Taskbarunpin"}));
}

int Lua_ExplorerExec(lua_State* L) {
  return PushBool(L, LaunchAtShellLevel(ArgText(L, 1), ArgText(L, 2)) > 31);
}

int Lua_ShellExec(lua_State* L) {
  const std::wstring file = ArgText(L, 1);
  const std::wstring parameters = ArgText(L, 2);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file.c_str();
  info.lpParameters = OrNull(parameters);
  info.nShow = SW_HIDE;
  return PushBool(L, ShellExecuteExW(&info) != FALSE);
}

int Lua_TaskKill(lua_State* L) {
  if (!lua_isnoneornil(L, 2)) {
    const std::wstring windowClass = ArgText(L, 2);
    UINT message = WM_SYSCOMMAND;
    WPARAM wParam = SC_CLOSE;
    LPARAM lParam = 0;
    if (!lua_isnoneornil(L, 3)) {
      message = static_cast<UINT>(lua_tointegerx(L, 3, nullptr));
      wParam = static_cast<WPARAM>(lua_tointegerx(L, 4, nullptr));
      lParam = static_cast<LPARAM>(lua_tointegerx(L, 5, nullptr));
    }
    if (HWND window = FindWindowW(windowClass.c_str(), nullptr)) PostMessageW(window, message, wParam, lParam);
  }
  return PushBool(L, EndTargetProcess(L));
}

int Lua_KillAllTaskByName(lua_State* L) { return PushBool(L, EndTargetProcess(L)); }

int Lua_GetProcessId(lua_State* L) {
  const int top = lua_gettop(L);
  const std::wstring name = top >= 1 ? ArgText(L, top) : std::wstring();
  ProcessToolHelp tools;
  const std::vector<DWORD> ids = tools.FindProcessIdsByName(name);
  if (ids.empty()) {
    lua_pushnumber(L, -1);
    return 1;
  }
  int count = static_cast<int>(ids.size());
  while (count > 1 && !lua_checkstack(L, count)) count /= 2;
  for (int i = 0; i < count; ++i) lua_pushnumber(L, static_cast<lua_Number>(ids[static_cast<size_t>(i)]));
  return count;
}

int Lua_GetImagePathByPid(lua_State* L) {
  const int top = lua_gettop(L);
  if (top < 1) return 0;
  const long long id = static_cast<long long>(lua_tointegerx(L, top, nullptr));
  if (id < 0 || id > 0xFFFFFFFFLL) return 0;
  const UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(id)));
  if (!process) return 0;
  wchar_t image[MAX_PATH] = {};
  const DWORD length = GetProcessImageFileNameW(process.get(), image, MAX_PATH);
  if (length == 0) return 0;
  std::wstring path(image, length);
  ProcessToolHelp tools;
  if (!tools.DevicePathToDrivePath(path)) return 0;
  PushText(L, path.c_str());
  return 1;
}

int Lua_SCM(lua_State* L) {
  return PushBool(L, ControlServiceAndWait(ArgText(L, 1), ArgText(L, 2), ServiceWaitLimits()));
}

int Lua_EnablePrivilege(lua_State* L) {
  // Read from the top: the name is second to last, the flag last.
  const int top = lua_gettop(L);
  const std::wstring name = ArgText(L, top >= 2 ? top - 1 : 1);
  const bool enable = top >= 2 && ArgFlag(L, top);
  return PushBool(L, ProcessToolHelp::EnableTokenPrivilege(name.c_str(), enable));
}

int Lua_ExitWindows(lua_State* L) {
  return PushBool(L, ExitWindowsWithPrivilege(ArgUnsigned(L, 1), ArgUnsigned(L, 2), ExitWindowsEx));
}

}  // namespace brix
