#include "trace.h"

#include <cstdarg>
#include <cwchar>

namespace brix {
namespace {

// Formats into a stack buffer so a failure path never needs the heap.
void VTrace(const wchar_t* fmt, va_list args) {
  wchar_t buf[kTraceUnits] = L"tr ";
  // _vsnwprintf writes at most the count given and may leave no NUL; the
  // buffer is zero-filled and one unit is kept back for the terminator.
  _vsnwprintf(buf + 3, kTraceTextUnits, fmt, args);
  buf[kTraceUnits - 1] = L'\0';
  OutputDebugStringW(buf);
}

void TraceV(const wchar_t* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  VTrace(fmt, args);
  va_end(args);
}

}  // namespace

void Trace(const wchar_t* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  VTrace(fmt, args);
  va_end(args);
}

void TraceFailure(const wchar_t* message, const char* file, int line) {
  // Taken before the first line: sending a debug string may itself change
  // the thread's last error, and the failure's code is what matters.
  const DWORD error = GetLastError();
  const wchar_t* m = message ? message : L"";
  TraceV(L"%lstr file:%hs\r\n", m, file);
  TraceV(L"%lstr line:%d\r\n", m, line);
  TraceV(L"%lstr err:%d\r\n", m, static_cast<int>(error));
  SetLastError(error);
}

}  // namespace brix
