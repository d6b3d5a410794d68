// The uninstaller's own stub: only the uninstaller role is linked, so the
// window, its toolkit and the image decoders stay out of every uninst.exe
// and of the UNINST.7Z each setup.exe carries.
#include <windows.h>

#include "uninstaller.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Packed as a product's setup.exe by mistake it would uninstall rather
  // than install: refuse instead.
  if (!brix::IsUninstaller()) {
    MessageBoxW(nullptr, L"This program is an uninstaller stub without its product.", L"Uninstall",
                MB_OK | MB_ICONERROR);
    return brix::kUninstallFailed;
  }
  return brix::RunUninstaller(instance);
}
