// peakrun <program> [arguments...]: runs the program under Wine (or Windows),
// waits for it, and prints its run time and peak memory on one line:
//   elapsed_ms=<n> exit=<code> peak_working_set_mb=<n> peak_pagefile_mb=<n>
#include <windows.h>
#include <psapi.h>

#include <cstdio>

namespace {

// The command line after our own program name, as given.
const wchar_t* Tail(const wchar_t* line) {
  bool quoted = false;
  for (; *line; ++line) {
    if (*line == L'"') quoted = !quoted;
    else if (!quoted && (*line == L' ' || *line == L'\t')) break;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

}  // namespace

int wmain() {
  wchar_t* command = _wcsdup(Tail(GetCommandLineW()));
  if (!*command) {
    std::fprintf(stderr, "usage: peakrun <program> [arguments...]\n");
    return 2;
  }
  LARGE_INTEGER freq, start, end;
  QueryPerformanceFrequency(&freq);
  STARTUPINFOW si = {sizeof si};
  PROCESS_INFORMATION pi = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "peakrun: cannot start (%lu)\n", GetLastError());
    return 2;
  }
  // Wine reports the counters of a live process only: sample while it runs
  // (its own peak figures cover the time between samples).
  SIZE_T peakSet = 0, peakPagefile = 0;
  for (;;) {
    PROCESS_MEMORY_COUNTERS pmc = {sizeof pmc};
    if (GetProcessMemoryInfo(pi.hProcess, &pmc, sizeof pmc)) {
      if (pmc.PeakWorkingSetSize > peakSet) peakSet = pmc.PeakWorkingSetSize;
      if (pmc.PeakPagefileUsage > peakPagefile) peakPagefile = pmc.PeakPagefileUsage;
    }
    if (WaitForSingleObject(pi.hProcess, 20) != WAIT_TIMEOUT) break;
  }
  QueryPerformanceCounter(&end);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  std::printf("elapsed_ms=%.0f exit=%lu peak_working_set_mb=%.1f peak_pagefile_mb=%.1f\n",
              (end.QuadPart - start.QuadPart) * 1000.0 / freq.QuadPart, code, peakSet / 1048576.0,
              peakPagefile / 1048576.0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}
