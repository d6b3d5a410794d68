#pragma once
// Starting the installed product, directly or at the desktop shell's level,
// and bringing a window to the front.
#include <windows.h>

#include <string>

namespace brix {

// Starts <folder>\<program>: at the desktop shell's level (and marks the
// install in the product's key) or directly. The outcome is not reported.
void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                  bool shellLevel);

// explorer.exe "<program>" "<parameters>"; the WinExec result (> 31 is success).
UINT LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters);

// Shown normally, on top of the z-order without staying topmost, and the
// foreground window.
void BringToFront(HWND window);

}  // namespace brix
