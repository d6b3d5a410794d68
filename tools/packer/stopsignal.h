#pragma once
// SIGINT, SIGTERM and SIGHUP while packing: the tool running at that moment
// (7zz, zip) is stopped as well, and the pack unwinds at the next check so
// that its temporary folder and its half-written output go.

namespace quillpack {

// Catches the three signals (one the packer was started ignoring, as under
// nohup, stays ignored).
void InstallStopHandlers();

// The signal that asked the packer to stop, or 0.
int StopSignal();

// Throws PackError when a stop was asked for.
void ThrowIfStopped();

// The child process a stop must end too (0 for none).
void SetRunningChild(int pid);

// Ends the process by the stop signal itself once everything is cleaned
// up, so the caller's shell sees how it ended.
[[noreturn]] void ExitBySignal(int signal);

}  // namespace quillpack
