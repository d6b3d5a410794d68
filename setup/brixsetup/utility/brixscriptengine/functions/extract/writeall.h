#pragma once
#include <windows.h>

#include <cstddef>

namespace brix {

// Writes all `size` bytes in pieces of at most 4 MiB. False on a failed
// write or on one that writes nothing, so a short file never counts as done.
bool WriteAll(HANDLE file, const void* data, size_t size);

}  // namespace brix
