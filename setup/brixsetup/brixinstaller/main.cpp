#include <windows.h>

#include "startup.h"
#include "uninstaller.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return brix::IsUninstaller() ? brix::RunUninstaller(instance) : brix::RunInstaller(instance);
}
