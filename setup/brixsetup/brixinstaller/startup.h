#pragma once
// The installer's start-up sequence: log, command line, chunks, single
// instance, first hook, then silent mode or the installer window.
#include <windows.h>

namespace brix {

constexpr wchar_t kDefaultMutexName[] = L"Global\\{1CF5C34D-F0D8-4507-8600-70E64159BB61}";
constexpr wchar_t kListenWindowClass[] = L"Global\\{C81DE3C6-FDA4-4458-9718-1F6946117266}";
constexpr wchar_t kProductFolderName[] = L"Quillon";
constexpr UINT kInstallFinishedMessage = 3014;

// Process-wide listening window (0 when none); the window reads it again at
// completion.
HWND ListenWindow();
void SetListenWindow(HWND window);

// WinMain's body. Always returns 0.
int RunInstaller(HINSTANCE instance);

}  // namespace brix
