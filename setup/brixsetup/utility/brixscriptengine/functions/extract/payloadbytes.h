#pragma once
// "_7Z" resources are stored with their first two bytes exchanged ("z7..."),
// so a plain scan of the executable finds no archive signature. They are put
// back in the loaded image once per process.
#include <windows.h>

namespace brix {

// Exchanges bytes 0 and 1 of the locked resource `data` unless this process
// did so before. True when the image holds the archive order afterwards;
// false when the image could not be made writable (the caller then restores
// its own copy of the bytes). Resources shorter than two bytes are left alone.
bool RestorePayloadBytes(void* data, DWORD size);

// Bytes 0 and 1 of a copy taken from an image that could not be restored.
inline void ExchangeFirstTwo(unsigned char* bytes, size_t size) {
  if (size < 2) return;
  const unsigned char b0 = bytes[0];
  bytes[0] = bytes[1];
  bytes[1] = b0;
}

}  // namespace brix
