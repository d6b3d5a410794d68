#pragma once
// One installer of a product at a time: a named mutex in the system-wide
// namespace whose existence is the marker.
#include <windows.h>

#include <string>

namespace brix {

// Creates the named single-instance mutex (base name + id when id != 0).
// Null when this is the first installer (or the mutex could not be made);
// otherwise the handle of the existing mutex, which the caller closes, after
// the first installer's window was brought forward. The first installer's
// handle stays open for the life of the process.
HANDLE CreateAppInstance(const std::wstring& baseName, int appId);

}  // namespace brix
