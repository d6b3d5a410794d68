// product.ini as the packer reads it, and the version resource and
// manifest it builds from what it accepted: every accepted file must give
// a version resource whose 16-bit lengths hold what was written, read back
// by a walker of the format written here.
#include <string>
#include <vector>

#include "binary.h"
#include "fuzzsupport.h"
#include "manifestresource.h"
#include "productfolder.h"
#include "utf16.h"
#include "versionresource.h"

namespace {

using quillpack::Bytes;

struct Node {
  std::u16string key;
  uint16_t valueLength = 0, type = 0;
  size_t valueAt = 0;
  std::vector<Node> children;
};

uint16_t U16(const Bytes& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

// Reads the node at `at` that must end by `limit`, as VerQueryValue does.
Node Read(const Bytes& b, size_t at, size_t limit) {
  FUZZ_CHECK(at + 6 <= limit);
  const size_t length = U16(b, at);
  FUZZ_CHECK(length >= 6 && at + length <= limit);
  Node n;
  n.valueLength = U16(b, at + 2);
  n.type = U16(b, at + 4);
  size_t p = at + 6;
  for (;; p += 2) {
    FUZZ_CHECK(p + 2 <= at + length);
    if (U16(b, p) == 0) break;
    n.key.push_back(char16_t(U16(b, p)));
  }
  p = quillpack::AlignUp(p + 2, 4);
  n.valueAt = p;
  const size_t valueBytes = n.type == 1 ? size_t(n.valueLength) * 2 : n.valueLength;
  FUZZ_CHECK(p + valueBytes <= at + length);
  p = quillpack::AlignUp(p + valueBytes, 4);
  while (p < at + length) {
    n.children.push_back(Read(b, p, at + length));
    p = quillpack::AlignUp(p + U16(b, p), 4);
  }
  return n;
}

std::u16string Wide(const std::string& s) {
  std::u16string w;
  FUZZ_CHECK(quillpack::Utf8ToUtf16(s, w));
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quillpack::ProductFolder p;
  try {
    quillpack::ParseProductSettings(std::string(reinterpret_cast<const char*>(data), size), "product.ini", p);
  } catch (const quillpack::PackError& e) {
    FUZZ_CHECK(std::string(e.what()).compare(0, 11, "product.ini") == 0);  // names the file
    return 0;
  }
  // Accepted payload switches give settings the encoders take.
  const quillpack::CoderSettings& c = p.payload.coder;
  FUZZ_CHECK(c.dictionary >= (4u << 10) && c.dictionary <= (256u << 20));
  FUZZ_CHECK(c.fb >= 5 && c.fb <= 273 && c.lc >= 0 && c.lc <= 8 && c.lp >= 0 && c.lp <= 4 && c.pb >= 0 && c.pb <= 4);
  FUZZ_CHECK(!c.lzma2 || c.lc + c.lp <= 4);
  FUZZ_CHECK(c.threads == 1 || c.threads == 2);

  // Whatever was accepted fits: building never fails and reads back whole.
  const Bytes version = quillpack::BuildVersionResource(p.version);
  const Node root = Read(version, 0, version.size());
  FUZZ_CHECK(root.key == u"VS_VERSION_INFO" && root.valueLength == 52);
  FUZZ_CHECK(root.children.size() == 2);
  const Node& table = root.children[0].children.at(0);
  FUZZ_CHECK(table.key == u"080404b0");
  std::vector<std::pair<std::u16string, std::string>> expected;
  const quillpack::VersionInfo& v = p.version;
  for (const auto& e : std::vector<std::pair<std::u16string, std::string>>{
           {u"CompanyName", v.company}, {u"FileDescription", v.description}, {u"FileVersion", v.versionText},
           {u"ProductName", v.productName}, {u"ProductVersion", v.versionText}, {u"LegalCopyright", v.copyright},
           {u"OriginalFilename", "setup.exe"}})
    if (!e.second.empty()) expected.push_back(e);
  FUZZ_CHECK(table.children.size() == expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Node& s = table.children[i];
    const std::u16string text = Wide(expected[i].second);
    FUZZ_CHECK(s.key == expected[i].first);
    FUZZ_CHECK(s.valueLength == text.size() + 1);
    for (size_t k = 0; k < text.size(); ++k) FUZZ_CHECK(U16(version, s.valueAt + 2 * k) == text[k]);
  }

  const Bytes manifest = quillpack::BuildManifest(p.executionLevel);
  FUZZ_CHECK(manifest.find("level=\"" + p.executionLevel + "\"") != std::string::npos);
  return 0;
}
