#include "sevenzwriter.h"

#include <cstdint>

namespace sevenz {
namespace {

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Fixed(std::string& o, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) o.push_back(static_cast<char>(v >> (8 * i)));
}

// The format's variable-length number: leading one bits count extra bytes.
void Number(std::string& o, uint64_t v) {
  unsigned char first = 0;
  unsigned char mask = 0x80;
  int extra = 0;
  for (; extra < 8; ++extra) {
    if (v < (uint64_t(1) << (7 * (extra + 1)))) {
      first |= static_cast<unsigned char>(v >> (8 * extra));
      break;
    }
    first |= mask;
    mask >>= 1;
  }
  o.push_back(static_cast<char>(first));
  Fixed(o, v, extra);
}

std::string Bits(const std::vector<bool>& bits) {
  std::string o((bits.size() + 7) / 8, '\0');
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i]) o[i / 8] = static_cast<char>(o[i / 8] | (0x80 >> (i % 8)));
  return o;
}

void Property(std::string& o, unsigned char id, const std::string& body) {
  o.push_back(static_cast<char>(id));
  Number(o, body.size());
  o += body;
}

}  // namespace

std::string StoredArchive(const std::vector<Item>& items) {
  std::string packed;
  std::vector<const Item*> streams;
  std::vector<bool> emptyStream, emptyFile;
  for (const Item& it : items) {
    const bool empty = it.isDir || it.data.empty();
    emptyStream.push_back(empty);
    if (empty) emptyFile.push_back(!it.isDir);
    if (!empty) {
      streams.push_back(&it);
      packed += it.data;
    }
  }

  std::string h;
  h.push_back(0x01);  // header
  if (!streams.empty()) {
    h.push_back(0x04);  // main streams
    h.push_back(0x06);  // pack info: one stream at offset 0
    Number(h, 0);
    Number(h, 1);
    h.push_back(0x09);
    Number(h, packed.size());
    h.push_back(0x00);
    h.push_back(0x07);  // one folder, one Copy coder
    h.push_back(0x0B);
    Number(h, 1);
    h.push_back(0x00);
    Number(h, 1);
    h.push_back(0x01);
    h.push_back(0x00);
    h.push_back(0x0C);
    Number(h, packed.size());
    h.push_back(0x00);
    h.push_back(0x08);  // substreams: sizes of all but the last, every CRC
    h.push_back(0x0D);
    Number(h, streams.size());
    h.push_back(0x09);
    for (size_t i = 0; i + 1 < streams.size(); ++i) Number(h, streams[i]->data.size());
    h.push_back(0x0A);
    h.push_back(0x01);
    for (const Item* s : streams) Fixed(h, Crc32(s->data), 4);
    h.push_back(0x00);
    h.push_back(0x00);
  }
  h.push_back(0x05);  // files
  Number(h, items.size());
  if (streams.size() != items.size()) {
    Property(h, 0x0E, Bits(emptyStream));
    Property(h, 0x0F, Bits(emptyFile));
  }
  std::string names(1, '\0');  // not external
  for (const Item& it : items) {
    for (wchar_t c : it.name) Fixed(names, static_cast<uint16_t>(c), 2);
    Fixed(names, 0, 2);
  }
  Property(h, 0x11, names);
  h.push_back(0x00);
  h.push_back(0x00);

  std::string start;
  Fixed(start, packed.size(), 8);
  Fixed(start, h.size(), 8);
  Fixed(start, Crc32(h), 4);
  std::string out("7z\xBC\xAF\x27\x1C\x00\x04", 8);
  Fixed(out, Crc32(start), 4);
  return out + start + packed + h;
}

}  // namespace sevenz
