#pragma once
// Diagnostic trace: single lines to the debugger output, prefixed "tr ".
#include <windows.h>

namespace brix {

constexpr int kTraceUnits = 1024;                 // buffer incl. marker and NUL
constexpr int kTraceTextUnits = kTraceUnits - 4;  // formatted text capacity

// printf-style wide format; the text carries its own line end.
void Trace(const wchar_t* fmt, ...);
// The three lines of one failure: file, line, GetLastError() (read last).
void TraceFailure(const wchar_t* message, const char* file, int line);

}  // namespace brix

#define BRIX_TRACE(...) ::brix::Trace(__VA_ARGS__)
#define BRIX_TRACE_FAILURE(msg) ::brix::TraceFailure((msg), __FILE__, __LINE__)
