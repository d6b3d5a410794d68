#pragma once
// Adds a resource section to a PE32 or PE32+ executable that has none.
#include "binary.h"
#include "pelayout.h"
#include "resourcetree.h"

namespace quillpack {

// Largest image a 32-bit (PE32) setup.exe may map: the loader needs it in
// one piece of a 2 GiB address space that the system libraries, the heap
// and the decoder's dictionary share.
constexpr uint64_t kMaxPe32Image = uint64_t(1) << 30;

// Checks that the stub can take a new section (throws PackError naming the
// problem otherwise) and returns the image with the resources appended as a
// new last section, headers and checksum updated. Bytes after the last
// section (the COFF symbol table of an unstripped stub) stay where they are.
Bytes AddResourceSection(const Bytes& stub, const ResourceSet& resources);

// The stub's COFF machine (0x14C i386, 0x8664 x86-64); throws PackError, as
// AddResourceSection does, for what is no PE executable.
uint16_t StubMachine(const Bytes& stub);

// The PE header checksum of an image, as the loader and imagehlp compute it.
uint32_t PeChecksum(const Bytes& image, size_t checksumOffset);

}  // namespace quillpack
