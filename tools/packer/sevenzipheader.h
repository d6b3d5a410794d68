#pragma once
// The records of a 7z archive around its packed streams: the header that
// lists blocks and items, the short header that points at a compressed
// one, and the signature header at the start of the file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

// A solid block: one packed stream decoded by LZMA or LZMA2, then BCJ when
// `bcj`, into the bytes of its files one after the other.
struct HeaderBlock {
  uint32_t method = 0;  // kMethodLzma or kMethodLzma2
  Bytes properties;
  bool bcj = false;
  uint64_t packedSize = 0;
  std::vector<uint64_t> sizes;  // of its files, in order
  std::vector<uint32_t> crcs;   // of its files, in order
};

// An item in the order the header lists it: first every file with bytes,
// block after block in their order, then the rest.
struct HeaderItem {
  std::u16string name;  // '/' between parts
  bool folder = false;
  bool hasBytes = false;
  std::optional<uint64_t> mtime;  // 100 ns ticks since 1601 (UTC)
  uint32_t attributes = 0;        // Windows file attributes
};

// The plain header (kHeader ... kEnd). The blocks' packed streams lie one
// after the other right after the signature header.
Bytes BuildHeader(const std::vector<HeaderBlock>& blocks, const std::vector<HeaderItem>& items);

// The short header that stands for a compressed one (kEncodedHeader): its
// packed stream at `packPosition` (after the signature header), LZMA with
// `properties`, unpacking to `header`.
Bytes BuildEncodedHeader(uint64_t packPosition, uint64_t packedSize, const Bytes& properties, const Bytes& header);

// The 32 bytes that start the archive; `next` is the header that ends it,
// `nextOffset` bytes after these.
Bytes BuildSignatureHeader(uint64_t nextOffset, const Bytes& next);

// CRC-32 as 7z stores it.
uint32_t Crc32(const void* data, size_t size, uint32_t crc = 0);

}  // namespace quillpack
