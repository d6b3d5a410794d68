#include "zipwriter.h"

#include <zlib.h>

namespace ziptest {
namespace {

void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xff);
  s += static_cast<char>(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xffff));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::string Write(const std::vector<Entry>& entries, Layout* layout) {
  std::string out, dir;
  for (const auto& e : entries) {
    uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
    if (e.badCrc) crc ^= 0x1234;
    if (e.declaredCrc) crc = e.declaredCrc;
    const uint32_t size = e.declaredSize ? e.declaredSize : static_cast<uint32_t>(e.data.size());
    const uint32_t packed = static_cast<uint32_t>(e.data.size());
    const size_t offset = out.size();
    if (layout) layout->localHeader.push_back(offset);
    Put32(out, 0x04034b50);
    Put16(out, 20);
    Put16(out, 0);
    Put16(out, 0);  // stored
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, crc);
    Put32(out, packed);
    Put32(out, size);
    Put16(out, static_cast<uint16_t>(e.name.size()));
    Put16(out, 0);
    out += e.name;
    if (layout) layout->data.push_back(out.size());
    out += e.data;

    Put32(dir, 0x02014b50);
    Put16(dir, 20);
    Put16(dir, 20);
    Put16(dir, 0);
    Put16(dir, 0);
    Put16(dir, 0);
    Put16(dir, 0);
    Put32(dir, crc);
    Put32(dir, packed);
    Put32(dir, size);
    Put16(dir, static_cast<uint16_t>(e.name.size()));
    Put16(dir, 0);
    Put16(dir, 0);
    Put16(dir, 0);
    Put16(dir, 0);
    Put32(dir, 0);
    Put32(dir, static_cast<uint32_t>(offset));
    dir += e.name;
  }
  const size_t dirOffset = out.size();
  out += dir;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put32(out, static_cast<uint32_t>(dir.size()));
  Put32(out, static_cast<uint32_t>(dirOffset));
  Put16(out, 0);
  return out;
}

}  // namespace ziptest
