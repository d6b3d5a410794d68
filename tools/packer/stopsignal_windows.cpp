#include <windows.h>

#include <atomic>
#include <string>

#include "binary.h"
#include "stopsignal.h"

namespace quillpack {
namespace {

// The control event plus one, so that CTRL_C_EVENT (0) is not "none".
std::atomic<int> g_signal{0};
std::atomic<intptr_t> g_child{0};

BOOL WINAPI OnControl(DWORD event) {
  int expected = 0;
  const bool again = !g_signal.compare_exchange_strong(expected, int(event) + 1);
  // The child shares the console and got the event too; one that did not
  // end at the first request is ended at the second.
  if (again)
    if (const intptr_t child = g_child.load()) TerminateProcess(reinterpret_cast<HANDLE>(child), 1);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Returning lets the system end the process at once; waiting gives the
    // main thread its few seconds to clean up and exit.
    Sleep(INFINITE);
  }
  return TRUE;
}

}  // namespace

void InstallStopHandlers() { SetConsoleCtrlHandler(OnControl, TRUE); }

int StopSignal() { return g_signal.load(); }

void ThrowIfStopped() {
  switch (g_signal.load()) {
    case 0: return;
    case CTRL_C_EVENT + 1: throw PackError("stopped by Ctrl-C");
    case CTRL_BREAK_EVENT + 1: throw PackError("stopped by Ctrl-Break");
    case CTRL_CLOSE_EVENT + 1: throw PackError("stopped by the console closing");
    default: throw PackError("stopped by the session ending");
  }
}

void SetRunningChild(intptr_t child) { g_child.store(child); }

void ExitBySignal(int) { ExitProcess(0xC000013A); }  // STATUS_CONTROL_C_EXIT

}  // namespace quillpack
