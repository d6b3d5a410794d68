#include "brixprocesstoolhelp.h"

#include <shellapi.h>

#include <cwchar>

#include "strconv.h"
#include "trace.h"

namespace brix {

HANDLE CreateAppInstance(const std::wstring& baseName, int appId) {
  wchar_t objectName[MAX_PATH] = {};
  if (appId != 0)
    _snwprintf(objectName, MAX_PATH - 1, L"%s%d", baseName.c_str(), appId);
  else
    _snwprintf(objectName, MAX_PATH - 1, L"%s", baseName.c_str());
  Trace(L" szObjectName = %s ", objectName);

  // A null DACL: installers of every account must see the object.
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, TRUE};

  HANDLE mutex = CreateMutexW(&sa, FALSE, objectName);
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;

  if (HWND other = FindWindowW(L"CDlgInstall", nullptr)) SwitchToThisWindow(other, TRUE);
  return mutex;
}

bool ExpandPath(const std::wstring& in, std::wstring& out) {
  out.clear();
  wchar_t buf[MAX_PATH] = {};
  DWORD n = ExpandEnvironmentStringsW(in.c_str(), buf, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return false;
  out = buf;
  return true;
}

UINT LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters) {
  const std::wstring command = L"explorer.exe \"" + program + L"\" \"" + parameters + L"\"";
  return WinExec(ToNarrow(command.c_str(), CP_THREAD_ACP).c_str(), SW_SHOWNORMAL);
}

void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                  bool shellLevel) {
  std::wstring expanded;
  if (!ExpandPath(folder, expanded)) expanded = folder;
  const std::wstring path = expanded + L"\\" + program;

  if (shellLevel) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
      DWORD one = 1;
      RegSetValueExW(key, L"Install", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
      RegCloseKey(key);
    }
    Trace(L"ProcessLauncherExplorerLevel~!\r\n");
    LaunchAtShellLevel(path, parameters);
  } else {
    ShellExecuteW(nullptr, nullptr, path.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
  }
}

void BringToFront(HWND window) {
  DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
  DWORD own = GetCurrentThreadId();
  AttachThreadInput(own, foreground, TRUE);
  ShowWindow(window, SW_SHOWNORMAL);
  SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(window);
  AttachThreadInput(own, foreground, FALSE);
}

}  // namespace brix
