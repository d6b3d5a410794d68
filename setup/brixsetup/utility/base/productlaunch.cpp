#include "productlaunch.h"

#include <shellapi.h>

#include "handles.h"
#include "pathutil.h"
#include "productconstants.h"
#include "strconv.h"
#include "trace.h"

namespace brix {

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
    UniqueRegKey key;
    // A missing key is not created: the mark belongs to an installed product.
    if (RegOpenKeyExW(HKEY_CURRENT_USER, product::kRegistryKey, 0, KEY_READ | KEY_WRITE, key.put()) ==
        ERROR_SUCCESS) {
      DWORD one = 1;
      RegSetValueExW(key.get(), product::kInstallMarkValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one),
                     sizeof one);
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
