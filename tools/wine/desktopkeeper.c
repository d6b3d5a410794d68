/* Keeps Wine's desktop process alive for a test run.
 *
 * Wine starts its desktop process for the first program that uses a window
 * and ends it a moment after the last one. That process inherits the
 * descriptors of whichever test started it, so ctest would wait for it. Run
 * detached from every pipe, this hidden window holds the desktop open; it
 * ends by itself after the given number of seconds (default 1800). */
#include <windows.h>
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR cmd, int show) {
  (void)prev;
  (void)show;
  int seconds = cmd && *cmd ? atoi(cmd) : 1800;
  HWND window = CreateWindowExW(0, L"STATIC", L"quill desktop keeper", WS_POPUP, 0, 0, 1, 1, NULL, NULL, instance,
                                NULL);
  SetTimer(window, 1, (UINT)(seconds > 0 ? seconds : 1800) * 1000u, NULL);
  MSG msg;
  while (GetMessageW(&msg, NULL, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageW(&msg);
  }
  return 0;
}
