#pragma once
// The installer's start-up sequence: log, command line, chunks, single
// instance, first hook, then silent mode or the installer window.
#include <windows.h>

namespace brix {

// Process-wide listening window (0 when none); the window reads it again at
// completion.
HWND ListenWindow();
void SetListenWindow(HWND window);

// WinMain's body. Always returns 0.
int RunInstaller(HINSTANCE instance);

}  // namespace brix
