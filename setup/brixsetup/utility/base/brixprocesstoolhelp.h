#pragma once
// Process and window tools of the installer host: the single-instance
// object, the start of the product and the shell-level launch.
#include <windows.h>

#include <string>

namespace brix {

// Creates the named single-instance mutex (base name + id when id != 0).
// Null when this is the first installer (or the mutex could not be made);
// otherwise the handle of the existing mutex, which the caller closes. The
// first installer's handle stays open for the life of the process.
HANDLE CreateAppInstance(const std::wstring& baseName, int appId);

// Starts <folder>\<program>: at the desktop shell's level (and marks the
// install in the product's key) or directly.
void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                  bool shellLevel);

// explorer.exe "<program>" "<parameters>"; the WinExec result (> 31 is success).
UINT LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters);

void BringToFront(HWND window);

// Expands environment references into at most 260 units. False when the
// expansion fails or does not fit; `out` is then left empty.
bool ExpandPath(const std::wstring& in, std::wstring& out);

}  // namespace brix
