#pragma once
// A ZIP archive written in memory with zlib's deflate, the same bytes on
// every system: entries in the order added, no directory entries, no extra
// fields, a fixed "version made by", and DOS times taken from UTC so the
// time zone the packer runs in changes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

class ZipWriter {
 public:
  // `name` is UTF-8 with '/' between parts; `mtime` 100 ns ticks since 1601
  // (UTC). Deflated at zlib's best, or stored when that is not smaller.
  void Add(const std::string& name, const Bytes& data, uint64_t mtime);
  // The central directory and its end record after the entries.
  Bytes Finish();

 private:
  struct Entry {
    std::string name;
    uint16_t method, time, date, flags;
    uint32_t crc, packedSize, size, offset;
  };
  static void PutShared(Bytes& out, const Entry& e);
  Bytes out_;
  std::vector<Entry> entries_;
};

// DOS date and time fields for a UTC time, held to what they can hold
// (1980-01-01 to 2107-12-31); seconds in steps of two.
void DosDateTime(uint64_t mtime, uint16_t& date, uint16_t& time);

}  // namespace quillpack
