#pragma once
// The installed product's uninstaller: the same stub, packed with the
// configuration and uninstall chunks and a marker resource that gives it
// this role. Unlike the installer, its exit code tells the caller what
// happened.
#include <windows.h>

namespace brix {

enum UninstallExitCode : int {
  kUninstallRemoved = 0,    // removed (or nothing was left to remove)
  kUninstallCancelled = 1,  // the user said no at the confirmation
  kUninstallFailed = 2,     // a chunk reported a failure, a chunk is missing, or a script error
};

// True when the executable carries the uninstaller marker.
bool IsUninstaller();

// WinMain's body for the uninstaller role.
int RunUninstaller(HINSTANCE instance);

}  // namespace brix
