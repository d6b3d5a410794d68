#pragma once
// Writes small ZIP archives in memory with stored entries and headers the
// test can then damage on purpose.
#include <cstdint>
#include <string>
#include <vector>

namespace ziptest {

struct Entry {
  std::string name;
  std::string data;
  // Overrides of what the headers declare (0: the real value).
  uint32_t declaredSize = 0;
  uint32_t declaredCrc = 0;
  bool badCrc = false;
};

// Offsets of each entry's local header and data in the result.
struct Layout {
  std::vector<size_t> localHeader;
  std::vector<size_t> data;
};

std::string Write(const std::vector<Entry>& entries, Layout* layout = nullptr);

}  // namespace ziptest
