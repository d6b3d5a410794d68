#pragma once
// The parts of the process and shortcut host functions that tests drive
// directly: bounds that would make a test slow, and calls that would end
// the test's own session.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace brix {

// How long Lua_SCM polls for the service to reach its state, and how often.
// The service's wait hint sets the interval, kept within these bounds.
struct ServiceWaitLimits {
  DWORD limitMs = 30000;
  DWORD minIntervalMs = 50;
  DWORD maxIntervalMs = 1000;
};

// "start" or "stop" (no case) the named service and wait for it. True when
// it got there, or when there is no such service.
bool ControlServiceAndWait(const std::wstring& name, const std::wstring& action, const ServiceWaitLimits& limits);

using ExitWindowsFunction = BOOL(WINAPI*)(UINT flags, DWORD reason);
// Enables SeShutdownPrivilege, then calls `exitWindows` (ExitWindowsEx).
bool ExitWindowsWithPrivilege(UINT flags, DWORD reason, ExitWindowsFunction exitWindows);

// The default folder, or the same folder on a later fixed drive when it
// exists there. `fixedDrives` are "C:"-style names in letter order.
std::wstring PickInstallFolder(const std::wstring& defaultFolder, const std::vector<std::wstring>& fixedDrives,
                               const std::function<bool(const std::wstring&)>& exists);

}  // namespace brix
