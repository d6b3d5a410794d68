// An .ico file as the packer turns it into icon resources: refused with a
// message, or a group whose entries each name an image of the size given.
#include "binary.h"
#include "fuzzsupport.h"
#include "iconresource.h"
#include "resourcetree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillpack;
  const Bytes ico(reinterpret_cast<const char*>(data), size);
  ResourceSet resources;
  try {
    AddIconResources(ico, "icon.ico", 128, resources);
  } catch (const PackError& e) {
    FUZZ_CHECK(std::string(e.what()).compare(0, 8, "icon.ico") == 0);
    return 0;
  }
  const uint16_t count = GetU16(ico, 4);
  FUZZ_CHECK(resources.size() == size_t(count) + 1);
  const Bytes section = resources.BuildSection(0x3000);
  FUZZ_CHECK(section.size() >= 16);
  return 0;
}
