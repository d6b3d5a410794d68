#include "iconresource.h"

#include <cstring>

namespace quillpack {

void AddIconResources(const Bytes& ico, const std::string& what, uint16_t groupId, ResourceSet& resources) {
  auto bad = [&](const std::string& why) { return PackError(what + ": not a usable icon file: " + why); };
  if (ico.size() < 6 || GetU16(ico, 0) != 0 || GetU16(ico, 2) != 1) throw bad("no icon directory header");
  const uint16_t count = GetU16(ico, 4);
  if (count == 0) throw bad("it holds no images");
  if (6 + 16 * size_t(count) > ico.size()) throw bad("directory truncated");

  Bytes group;
  PutU16(group, 0);
  PutU16(group, 1);
  PutU16(group, count);
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * size_t(i);
    const uint32_t bytes = GetU32(ico, e + 8), offset = GetU32(ico, e + 12);
    if (bytes < 8 || uint64_t(offset) + bytes > ico.size())
      throw bad("image " + std::to_string(i + 1) + " lies outside the file");
    Bytes image = ico.substr(offset, bytes);
    uint16_t planes = GetU16(ico, e + 4), bitCount = GetU16(ico, e + 6);
    // Some writers leave these zero; icon lookup ranks images by them, so
    // take them from the image itself.
    const bool png = std::memcmp(image.data(), "\x89PNG", 4) == 0;
    if (!png && (bytes < 40 || GetU32(image, 0) != 40)) throw bad("image " + std::to_string(i + 1) + " is neither PNG nor a bitmap");
    if (planes == 0) planes = 1;
    if (bitCount == 0) bitCount = png ? 32 : GetU16(image, 14);

    const uint16_t id = uint16_t(i + 1);
    group.append(ico, e, 4);  // width, height, colour count, reserved
    PutU16(group, planes);
    PutU16(group, bitCount);
    PutU32(group, bytes);
    PutU16(group, id);
    resources.Add(ResourceKey::Id(kRtIcon), ResourceKey::Id(id), kLangNeutral, std::move(image));
  }
  resources.Add(ResourceKey::Id(kRtGroupIcon), ResourceKey::Id(groupId), kLangNeutral, std::move(group));
}

}  // namespace quillpack
