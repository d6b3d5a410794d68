#pragma once
// "_7Z" resources are stored with their first two bytes exchanged ("z7..."),
// so a plain scan of the executable finds no archive signature. The loaded
// image is never written: readers put the two bytes back in their own copy
// (MemorySource does it as it reads).
#include <cstddef>

namespace brix {

inline void ExchangeFirstTwo(unsigned char* bytes, size_t size) {
  if (size < 2) return;
  const unsigned char b0 = bytes[0];
  bytes[0] = bytes[1];
  bytes[1] = b0;
}

}  // namespace brix
