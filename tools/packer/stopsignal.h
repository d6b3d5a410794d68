#pragma once
// Asked to stop while packing (SIGINT, SIGTERM or SIGHUP on POSIX; Ctrl-C,
// Ctrl-Break or the console closing on Windows): a tool running at that
// moment is stopped as well, and the pack unwinds at its next check so that
// its half-written output goes. stopsignal_posix.cpp, stopsignal_windows.cpp.
#include <cstdint>

namespace quillpack {

// Catches the requests (on POSIX a signal the packer was started ignoring,
// as under nohup, stays ignored).
void InstallStopHandlers();

// Which request asked the packer to stop, or 0. Safe from any thread.
int StopSignal();

// Throws PackError ("stopped by SIGTERM", "stopped by Ctrl-C") when a stop
// was asked for.
void ThrowIfStopped();

// The child process a stop must end too (a pid, or on Windows a process
// handle; 0 for none).
void SetRunningChild(intptr_t child);

// Ends the process the way the stop asks once everything is cleaned up:
// on POSIX by the signal itself, so the caller's shell sees how it ended;
// on Windows with STATUS_CONTROL_C_EXIT, as Ctrl-C ends a console program.
[[noreturn]] void ExitBySignal(int signal);

}  // namespace quillpack
