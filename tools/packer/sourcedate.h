#pragma once
// SOURCE_DATE_EPOCH, the reproducible-builds convention: when it is set, no
// time stored in setup.exe is later than it.
#include <cstdint>
#include <optional>
#include <string>

namespace quillpack {

struct TimeLimit {
  std::optional<uint64_t> latest;  // 100 ns ticks since 1601 (UTC)
  uint64_t Clamp(uint64_t t) const { return latest && t > *latest ? *latest : t; }
};

// From the variable's value (null or empty: not set). Throws PackError for
// anything but a whole number of seconds since 1970-01-01 UTC, up to the
// end of year 9999.
TimeLimit ParseSourceDateEpoch(const char* value);

}  // namespace quillpack
