#pragma once
// Compresses the installer stub's code and read-only data into one LZMA
// stream that the stub's own code loader unpacks when setup.exe starts
// (setup/brixsetup/codeloader). Sections the system reads before the loader
// runs (imports, relocations, the TLS template) stay as they are.
#include <string>

#include "binary.h"

namespace quillpack {

struct CompressedStub {
  Bytes image;
  // Why the stub stayed as it was, when it has a loader but cannot be
  // compressed (empty when compressed, or when it has no loader at all).
  std::string leftPlain;
  uint64_t codeBytes = 0, packedBytes = 0;
};

// The stub with its code compressed, ready for AddResourceSection. A stub
// without the loader comes back unchanged; one whose code is already
// compressed is refused (PackError).
CompressedStub CompressStubCode(const Bytes& stub);

}  // namespace quillpack
