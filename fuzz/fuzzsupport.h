#pragma once
// What every fuzz target shares: a check that stops the run with a report
// (libFuzzer keeps the input), and inputs read as Windows text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                                    \
  do {                                                                                      \
    if (!(cond)) {                                                                          \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);        \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

namespace fuzz {

// The bytes as UTF-16LE code units (an odd last byte is dropped), each in a
// wchar_t: 32 bits here, 16 on Windows; the code under test works on units.
inline std::wstring Utf16Units(const uint8_t* data, size_t size) {
  std::wstring s;
  s.reserve(size / 2);
  for (size_t i = 0; i + 1 < size; i += 2) s.push_back(wchar_t(data[i] | data[i + 1] << 8));
  return s;
}

}  // namespace fuzz
