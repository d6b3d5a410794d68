#include "peresources.h"

#include <algorithm>
#include <cstring>

namespace quillpack {

uint32_t PeChecksum(const Bytes& image, size_t checksumOffset) {
  uint64_t sum = 0;
  for (size_t i = 0; i < image.size(); i += 2) {
    if (i == checksumOffset || i == checksumOffset + 2) continue;
    uint32_t word = uint8_t(image[i]);
    if (i + 1 < image.size()) word |= uint32_t(uint8_t(image[i + 1])) << 8;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum + image.size());
}

uint16_t StubMachine(const Bytes& stub) { return GetU16(stub, ReadPeLayout(stub).coff); }

Bytes AddResourceSection(const Bytes& stub, const ResourceSet& resources) {
  const PeLayout l = ReadPeLayout(stub);

  if (GetU32(stub, l.Directory(kResourceDirectory)) != 0 || GetU32(stub, l.Directory(kResourceDirectory) + 4) != 0)
    RefuseStub("already has a resource directory; the packer needs a stub without resources");
  for (const PeSection& s : l.sections)
    if (std::strcmp(s.name, ".rsrc") == 0) RefuseStub("already has a .rsrc section");
  if (l.directoryCount > kSecurityDirectory && GetU32(stub, l.Directory(kSecurityDirectory) + 4) != 0)
    RefuseStub("is signed; pack the stub first and sign the packed installer");

  const size_t newHeader = l.NewSectionHeaders(stub, 1);
  const uint64_t rva = l.ImageEnd();

  const Bytes section = resources.BuildSection(uint32_t(rva));
  const uint64_t rawSize = AlignUp(section.size(), l.fileAlignment);
  // Whatever follows the sections stays in place: the section data goes
  // after it, so offsets into it (the symbol table pointer) stay valid.
  const uint64_t rawPointer = AlignUp(stub.size(), l.fileAlignment);
  const uint64_t sizeOfImage = AlignUp(rva + section.size(), l.sectionAlignment);
  const uint64_t initializedData = uint64_t(GetU32(stub, l.InitializedDataField())) + rawSize;
  if (rawPointer + rawSize > 0xFFFFFFFFull || sizeOfImage > 0xFFFFFFFFull || initializedData > 0xFFFFFFFFull)
    throw PackError("resources too large for a PE image (" + std::to_string(section.size()) + " bytes)");
  if (l.magic == kPe32 && sizeOfImage > kMaxPe32Image)
    throw PackError("setup.exe would map " + std::to_string(sizeOfImage >> 20) +
                    " MiB; a 32-bit installer maps its whole image into the 2 GiB a 32-bit process has, so the packer "
                    "stops at " + std::to_string(kMaxPe32Image >> 20) +
                    " MiB. Ship the payload as a package file beside setup.exe instead (see \"Large payloads\" in "
                    "tools/packer/README.md)");

  Bytes out = stub;
  out.resize(rawPointer, '\0');
  out += section;
  out.resize(rawPointer + rawSize, '\0');

  out.replace(newHeader, kSectionHeaderSize,
              SectionHeader(".rsrc", uint32_t(section.size()), uint32_t(rva), uint32_t(rawSize), uint32_t(rawPointer),
                            kInitializedReadOnly));

  SetU16(out, l.coff + 2, uint16_t(l.sectionCount + 1));
  SetU32(out, l.SizeOfImageField(), uint32_t(sizeOfImage));
  SetU32(out, l.InitializedDataField(), uint32_t(initializedData));
  SetU32(out, l.Directory(kResourceDirectory), uint32_t(rva));
  SetU32(out, l.Directory(kResourceDirectory) + 4, uint32_t(section.size()));
  SetU32(out, l.ChecksumField(), 0);
  SetU32(out, l.ChecksumField(), PeChecksum(out, l.ChecksumField()));
  return out;
}

}  // namespace quillpack
