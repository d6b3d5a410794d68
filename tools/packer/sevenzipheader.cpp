#include "sevenzipheader.h"

#include "blockencoder.h"
#include "lzma/7zCrc.h"

namespace quillpack {
namespace {

// Property ids (7zFormat.txt).
enum : uint8_t {
  kEnd = 0x00,
  kHeader = 0x01,
  kMainStreamsInfo = 0x04,
  kFilesInfo = 0x05,
  kPackInfo = 0x06,
  kUnpackInfo = 0x07,
  kSubStreamsInfo = 0x08,
  kSize = 0x09,
  kCrc = 0x0A,
  kFolder = 0x0B,
  kCodersUnpackSize = 0x0C,
  kNumUnpackStream = 0x0D,
  kEmptyStream = 0x0E,
  kEmptyFile = 0x0F,
  kName = 0x11,
  kMTime = 0x14,
  kWinAttributes = 0x15,
  kEncodedHeader = 0x17,
};

// 7z's variable-length number: the leading one bits of the first byte
// count the bytes after it, which hold the low bits.
void PutNumber(Bytes& b, uint64_t v) {
  uint8_t first = 0, mask = 0x80;
  int extra = 0;
  for (; extra < 8; ++extra) {
    if (v < (uint64_t(1) << (7 * (extra + 1)))) {
      first |= uint8_t(v >> (8 * extra));
      break;
    }
    first |= mask;
    mask >>= 1;
  }
  PutU8(b, first);
  for (int i = 0; i < extra; ++i) PutU8(b, uint8_t(v >> (8 * i)));
}

void PutU64(Bytes& b, uint64_t v) {
  PutU32(b, uint32_t(v));
  PutU32(b, uint32_t(v >> 32));
}

// Bits first to last from the high bit of each byte down.
void PutBits(Bytes& b, const std::vector<bool>& bits) {
  uint8_t byte = 0;
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i]) byte |= uint8_t(0x80 >> (i % 8));
    if (i % 8 == 7) {
      PutU8(b, byte);
      byte = 0;
    }
  }
  if (bits.size() % 8) PutU8(b, byte);
}

void PutProperty(Bytes& b, uint8_t id, const Bytes& data) {
  PutU8(b, id);
  PutNumber(b, data.size());
  b += data;
}

// A coder: its id big-endian in as few bytes as it needs, then its
// properties if any.
void PutCoder(Bytes& b, uint32_t method, const Bytes& properties) {
  Bytes id;
  for (int shift = 24; shift >= 0; shift -= 8)
    if (!id.empty() || (method >> shift) != 0 || shift == 0) PutU8(id, uint8_t(method >> shift));
  PutU8(b, uint8_t(id.size() | (properties.empty() ? 0 : 0x20)));
  b += id;
  if (!properties.empty()) {
    PutNumber(b, properties.size());
    b += properties;
  }
}

// Coder 0 decodes the packed stream; the filter, when there is one, is
// coder 1 and takes coder 0's output: the layout both the installer's
// streaming decoder and the SDK's whole-block one accept.
void PutFolder(Bytes& b, uint32_t method, const Bytes& properties, bool bcj) {
  PutNumber(b, bcj ? 2 : 1);
  PutCoder(b, method, properties);
  if (bcj) {
    PutCoder(b, kMethodBcj, Bytes());
    PutNumber(b, 1);  // bond: coder 1's input
    PutNumber(b, 0);  // takes coder 0's output
  }
  // One packed stream: its index is implied.
}

void PutStreams(Bytes& h, const std::vector<HeaderBlock>& blocks) {
  PutU8(h, kPackInfo);
  PutNumber(h, 0);
  PutNumber(h, blocks.size());
  PutU8(h, kSize);
  for (const HeaderBlock& k : blocks) PutNumber(h, k.packedSize);
  PutU8(h, kEnd);

  PutU8(h, kUnpackInfo);
  PutU8(h, kFolder);
  PutNumber(h, blocks.size());
  PutU8(h, 0);  // not external
  for (const HeaderBlock& k : blocks) PutFolder(h, k.method, k.properties, k.bcj);
  PutU8(h, kCodersUnpackSize);
  for (const HeaderBlock& k : blocks) {
    uint64_t total = 0;
    for (uint64_t s : k.sizes) total += s;
    // One size per coder output; the filter does not change the size.
    PutNumber(h, total);
    if (k.bcj) PutNumber(h, total);
  }
  PutU8(h, kEnd);

  PutU8(h, kSubStreamsInfo);
  bool counts = false, sizes = false;
  for (const HeaderBlock& k : blocks) {
    counts = counts || k.sizes.size() != 1;
    sizes = sizes || k.sizes.size() > 1;
  }
  if (counts) {
    PutU8(h, kNumUnpackStream);
    for (const HeaderBlock& k : blocks) PutNumber(h, k.sizes.size());
  }
  if (sizes) {
    PutU8(h, kSize);
    for (const HeaderBlock& k : blocks)
      for (size_t i = 0; i + 1 < k.sizes.size(); ++i) PutNumber(h, k.sizes[i]);
  }
  // Every file's CRC here, none per block.
  PutU8(h, kCrc);
  PutU8(h, 1);  // all defined
  for (const HeaderBlock& k : blocks)
    for (uint32_t crc : k.crcs) PutU32(h, crc);
  PutU8(h, kEnd);
}

void PutFiles(Bytes& h, const std::vector<HeaderItem>& items) {
  PutU8(h, kFilesInfo);
  PutNumber(h, items.size());

  std::vector<bool> emptyStream, emptyFile;
  for (const HeaderItem& i : items) {
    emptyStream.push_back(!i.hasBytes);
    if (!i.hasBytes) emptyFile.push_back(!i.folder);
  }
  if (!emptyFile.empty()) {
    Bytes bits;
    PutBits(bits, emptyStream);
    PutProperty(h, kEmptyStream, bits);
    bool anyFile = false;
    for (bool f : emptyFile) anyFile = anyFile || f;
    if (anyFile) {
      bits.clear();
      PutBits(bits, emptyFile);
      PutProperty(h, kEmptyFile, bits);
    }
  }

  Bytes names(1, '\0');  // not external
  for (const HeaderItem& i : items) PutUtf16z(names, i.name);
  PutProperty(h, kName, names);

  std::vector<bool> timed;
  size_t timedCount = 0;
  for (const HeaderItem& i : items) {
    timed.push_back(i.mtime.has_value());
    timedCount += i.mtime ? 1 : 0;
  }
  if (timedCount) {
    Bytes times;
    PutU8(times, timedCount == items.size() ? 1 : 0);
    if (timedCount != items.size()) PutBits(times, timed);
    PutU8(times, 0);  // not external
    for (const HeaderItem& i : items)
      if (i.mtime) PutU64(times, *i.mtime);
    PutProperty(h, kMTime, times);
  }

  Bytes attributes;
  PutU8(attributes, 1);  // all defined
  PutU8(attributes, 0);  // not external
  for (const HeaderItem& i : items) PutU32(attributes, i.attributes);
  PutProperty(h, kWinAttributes, attributes);
  PutU8(h, kEnd);
}

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  static const bool table = (CrcGenerateTable(), true);
  (void)table;
  return CRC_GET_DIGEST(CrcUpdate(crc ^ 0xFFFFFFFFu, data, size));
}

Bytes BuildHeader(const std::vector<HeaderBlock>& blocks, const std::vector<HeaderItem>& items) {
  Bytes h;
  PutU8(h, kHeader);
  if (!blocks.empty()) {
    PutU8(h, kMainStreamsInfo);
    PutStreams(h, blocks);
    PutU8(h, kEnd);
  }
  if (!items.empty()) PutFiles(h, items);
  PutU8(h, kEnd);
  return h;
}

Bytes BuildEncodedHeader(uint64_t packPosition, uint64_t packedSize, const Bytes& properties, const Bytes& header) {
  Bytes h;
  PutU8(h, kEncodedHeader);
  PutU8(h, kPackInfo);
  PutNumber(h, packPosition);
  PutNumber(h, 1);
  PutU8(h, kSize);
  PutNumber(h, packedSize);
  PutU8(h, kEnd);
  PutU8(h, kUnpackInfo);
  PutU8(h, kFolder);
  PutNumber(h, 1);
  PutU8(h, 0);  // not external
  PutFolder(h, kMethodLzma, properties, false);
  PutU8(h, kCodersUnpackSize);
  PutNumber(h, header.size());
  PutU8(h, kCrc);
  PutU8(h, 1);  // all defined
  PutU32(h, Crc32(header.data(), header.size()));
  PutU8(h, kEnd);
  PutU8(h, kEnd);
  return h;
}

Bytes BuildSignatureHeader(uint64_t nextOffset, const Bytes& next) {
  Bytes start;
  PutU64(start, nextOffset);
  PutU64(start, next.size());
  PutU32(start, Crc32(next.data(), next.size()));
  Bytes b("7z\xBC\xAF\x27\x1C\x00\x04", 8);
  PutU32(b, Crc32(start.data(), start.size()));
  return b + start;
}

}  // namespace quillpack
