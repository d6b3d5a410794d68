// The packer's reader and writer of the stub's PE headers over any bytes:
// refused with a message, or an image whose checksum is right and which a
// second pass refuses because it now has resources. Before that the stub's
// code is compressed where it carries the code loader's record: refused, left
// as it was, or an image the resource writer takes and that is refused when
// compressed again.
#include "binary.h"
#include "fuzzsupport.h"
#include "peresources.h"
#include "resourcetree.h"
#include "stubcode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quillpack;
  const Bytes input(reinterpret_cast<const char*>(data), size);
  Bytes stub = input;
  try {
    const CompressedStub compressed = CompressStubCode(input);
    if (compressed.codeBytes) {
      FUZZ_CHECK(compressed.leftPlain.empty());
      stub = compressed.image;
      try {
        CompressStubCode(stub);
        FUZZ_CHECK(!"compressed code was compressed again");
      } catch (const PackError& e) {
        FUZZ_CHECK(std::string(e.what()).find("already compressed") != std::string::npos);
      }
    } else {
      FUZZ_CHECK(compressed.image == input);
    }
  } catch (const PackError&) {
  }
  ResourceSet resources;
  resources.Add(ResourceKey::Named("LUA"), ResourceKey::Named("INSTSCRIPT.LUAC"), kLangNeutral, Bytes(100, 'x'));
  resources.Add(ResourceKey::Id(kRtVersion), ResourceKey::Id(1), kLangNeutral, Bytes(60, 'v'));
  Bytes image;
  try {
    image = AddResourceSection(stub, resources);
  } catch (const PackError&) {
    return 0;
  }
  FUZZ_CHECK(image.size() > stub.size());
  // The stub, padding to a file alignment of at most 64 KiB, the section.
  FUZZ_CHECK(image.size() <= stub.size() + 2 * 0x10000 + 1024);
  FUZZ_CHECK(image.compare(0, 2, "MZ") == 0);
  const size_t pe = GetU32(image, 0x3C);
  const size_t checksumField = pe + 4 + 20 + 64;
  FUZZ_CHECK(GetU32(image, checksumField) == PeChecksum(image, checksumField));
  try {
    AddResourceSection(image, resources);
    FUZZ_CHECK(!"a packed image was accepted as a stub again");
  } catch (const PackError& e) {
    FUZZ_CHECK(std::string(e.what()).find("resource") != std::string::npos);
  }
  return 0;
}
