#include "versionresource.h"

#include <vector>

#include "utf16.h"

namespace quillpack {
namespace {

constexpr uint16_t kBinary = 0, kText = 1;
constexpr uint16_t kLanguage = 0x0804, kCodePage = 1200;

std::u16string Wide(const std::string& utf8) {
  std::u16string w;
  if (!Utf8ToUtf16(utf8, w)) throw PackError("version text is not valid UTF-8: " + utf8);
  return w;
}

// Every node of the version tree: wLength, wValueLength, wType, the key,
// padding to a DWORD, the value, then the children each DWORD-aligned.
// wLength covers the node up to the end of its last child, the padding
// between children included and none after the last.
Bytes Node(const std::u16string& key, uint16_t type, const Bytes& value, uint16_t valueLength,
           const std::vector<Bytes>& children = {}) {
  Bytes b;
  PutU16(b, 0);
  PutU16(b, valueLength);
  PutU16(b, type);
  PutUtf16z(b, key);
  PadTo(b, 4);
  b += value;
  for (const Bytes& child : children) {
    PadTo(b, 4);
    b += child;
  }
  // Every length in the tree is 16 bits wide: a node that outgrows it would
  // be cut short silently by every reader.
  if (b.size() > 0xFFFF)
    throw PackError("the version resource's " + std::string(key.begin(), key.end()) + " block needs " +
                    std::to_string(b.size()) + " bytes, more than its 16-bit length can describe (65535)");
  SetU16(b, 0, uint16_t(b.size()));
  return b;
}

// A String node: its value length counts UTF-16 units, terminator included.
Bytes String(const char16_t* key, const std::string& utf8) {
  std::u16string text = Wide(utf8);
  if (text.size() >= 0xFFFF)
    throw PackError("version text for " + std::string(key, key + std::char_traits<char16_t>::length(key)) +
                    " is too long for the version resource");
  Bytes value;
  PutUtf16z(value, text);
  return Node(key, kText, value, uint16_t(text.size() + 1));
}

}  // namespace

Bytes BuildVersionResource(const VersionInfo& info) {
  const uint32_t ms = uint32_t(info.version[0]) << 16 | info.version[1];
  const uint32_t ls = uint32_t(info.version[2]) << 16 | info.version[3];
  Bytes fixed;
  PutU32(fixed, 0xFEEF04BD);  // signature
  PutU32(fixed, 0x00010000);  // structure version 1.0
  PutU32(fixed, ms);          // file version
  PutU32(fixed, ls);
  PutU32(fixed, ms);          // product version
  PutU32(fixed, ls);
  PutU32(fixed, 0x3F);        // flags mask
  PutU32(fixed, 0);           // flags
  PutU32(fixed, 0x00040004);  // VOS_NT_WINDOWS32
  PutU32(fixed, 1);           // VFT_APP
  PutU32(fixed, 0);           // subtype
  PutU32(fixed, 0);           // date
  PutU32(fixed, 0);

  std::vector<Bytes> strings;
  auto add = [&](const char16_t* key, const std::string& value) {
    if (!value.empty()) strings.push_back(String(key, value));
  };
  add(u"CompanyName", info.company);
  add(u"FileDescription", info.description);
  add(u"FileVersion", info.versionText);
  add(u"ProductName", info.productName);
  add(u"ProductVersion", info.versionText);
  add(u"LegalCopyright", info.copyright);
  add(u"OriginalFilename", "setup.exe");

  const Bytes table = Node(u"080404b0", kText, Bytes(), 0, strings);
  const Bytes stringInfo = Node(u"StringFileInfo", kText, Bytes(), 0, {table});
  Bytes translation;
  PutU16(translation, kLanguage);
  PutU16(translation, kCodePage);
  const Bytes var = Node(u"Translation", kBinary, translation, uint16_t(translation.size()));
  const Bytes varInfo = Node(u"VarFileInfo", kText, Bytes(), 0, {var});

  Bytes all = Node(u"VS_VERSION_INFO", kBinary, fixed, uint16_t(fixed.size()), {stringInfo, varInfo});
  return all;
}

}  // namespace quillpack
