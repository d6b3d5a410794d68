#pragma once
// Little-endian byte buffers, as every Windows structure the packer writes
// is laid out.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillpack {

// Failures carry the text shown to the user; main prints it and exits 1.
struct PackError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Bytes = std::string;

inline void PutU8(Bytes& b, uint8_t v) { b.push_back(static_cast<char>(v)); }
inline void PutU16(Bytes& b, uint16_t v) {
  PutU8(b, uint8_t(v));
  PutU8(b, uint8_t(v >> 8));
}
inline void PutU32(Bytes& b, uint32_t v) {
  PutU16(b, uint16_t(v));
  PutU16(b, uint16_t(v >> 16));
}
inline void SetU16(Bytes& b, size_t at, uint16_t v) {
  b[at] = char(v);
  b[at + 1] = char(v >> 8);
}
inline void SetU32(Bytes& b, size_t at, uint32_t v) {
  SetU16(b, at, uint16_t(v));
  SetU16(b, at + 2, uint16_t(v >> 16));
}
inline uint16_t GetU16(const Bytes& b, size_t at) {
  return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}
inline uint32_t GetU32(const Bytes& b, size_t at) { return GetU16(b, at) | uint32_t(GetU16(b, at + 2)) << 16; }
inline uint64_t GetU64(const Bytes& b, size_t at) { return GetU32(b, at) | uint64_t(GetU32(b, at + 4)) << 32; }
inline void SetU64(Bytes& b, size_t at, uint64_t v) {
  SetU32(b, at, uint32_t(v));
  SetU32(b, at + 4, uint32_t(v >> 32));
}

inline void PadTo(Bytes& b, size_t alignment) {
  while (b.size() % alignment != 0) b.push_back('\0');
}
inline uint64_t AlignUp(uint64_t v, uint64_t alignment) { return (v + alignment - 1) / alignment * alignment; }

// UTF-16 text with its terminating zero.
inline void PutUtf16z(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) PutU16(b, c);
  PutU16(b, 0);
}

}  // namespace quillpack
