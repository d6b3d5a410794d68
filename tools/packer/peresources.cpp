#include "peresources.h"

#include <algorithm>
#include <cstring>

namespace quillpack {
namespace {

constexpr uint16_t kPe32 = 0x10B;
constexpr uint16_t kPe32Plus = 0x20B;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kInitializedReadOnly = 0x40000040;  // CNT_INITIALIZED_DATA | MEM_READ
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint32_t kMaxFileAlignment = 0x10000;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

struct Section {
  char name[9] = {};
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
};

// Where the fields this writer touches lie in one particular image.
struct Layout {
  size_t coff, optional, sectionTable;
  uint16_t sectionCount;
  uint16_t magic;
  uint32_t fileAlignment, sectionAlignment, sizeOfHeaders;
  size_t dataDirectories;
  uint32_t directoryCount;
  std::vector<Section> sections;

  size_t Directory(uint32_t index) const { return dataDirectories + 8 * index; }
  size_t SizeOfImageField() const { return optional + 56; }
  size_t ChecksumField() const { return optional + 64; }
  size_t InitializedDataField() const { return optional + 8; }
};

[[noreturn]] void Refuse(const std::string& why) { throw PackError("stub: " + why); }

Layout ReadLayout(const Bytes& pe) {
  Layout l{};
  if (pe.size() < 64 || pe[0] != 'M' || pe[1] != 'Z') Refuse("not a Windows executable (no MZ header)");
  const uint32_t peOffset = GetU32(pe, 0x3C);
  if (uint64_t(peOffset) + 24 > pe.size() || std::memcmp(pe.data() + peOffset, "PE\0\0", 4) != 0)
    Refuse("not a PE executable (no PE signature)");
  // Loaders read the headers as aligned structures, and the checksum sums
  // aligned 16-bit words, its own field left out.
  if (peOffset % 4 != 0) Refuse("PE header at offset " + std::to_string(peOffset) + " is not 4-byte aligned");
  l.coff = peOffset + 4;
  l.sectionCount = GetU16(pe, l.coff + 2);
  const uint16_t optionalSize = GetU16(pe, l.coff + 16);
  if (!(GetU16(pe, l.coff + 18) & kExecutableImage)) Refuse("not an executable image");
  l.optional = l.coff + 20;
  if (l.optional + optionalSize > pe.size() || optionalSize < 2) Refuse("truncated optional header");
  l.magic = GetU16(pe, l.optional);
  size_t countField;
  if (l.magic == kPe32) {
    countField = l.optional + 92;
    l.dataDirectories = l.optional + 96;
  } else if (l.magic == kPe32Plus) {
    countField = l.optional + 108;
    l.dataDirectories = l.optional + 112;
  } else {
    Refuse("unknown optional header magic " + std::to_string(l.magic));
  }
  if (countField + 4 > l.optional + optionalSize) Refuse("truncated optional header");
  l.directoryCount = GetU32(pe, countField);
  l.directoryCount = std::min<uint32_t>(l.directoryCount, uint32_t((l.optional + optionalSize - l.dataDirectories) / 8));
  if (l.directoryCount <= kResourceDirectory) Refuse("optional header has no resource directory entry");
  l.sectionAlignment = GetU32(pe, l.optional + 32);
  l.fileAlignment = GetU32(pe, l.optional + 36);
  l.sizeOfHeaders = GetU32(pe, l.optional + 60);
  if (!IsPowerOfTwo(l.fileAlignment) || !IsPowerOfTwo(l.sectionAlignment) || l.sectionAlignment < l.fileAlignment)
    Refuse("invalid file or section alignment");
  // The new section is padded to the file alignment: a forged one of, say,
  // 256 MiB would make the installer that large.
  if (l.fileAlignment > kMaxFileAlignment)
    Refuse("file alignment " + std::to_string(l.fileAlignment) + " is larger than the 64 KiB a PE image may use");

  l.sectionTable = l.optional + optionalSize;
  if (l.sectionTable + kSectionHeaderSize * l.sectionCount > pe.size()) Refuse("truncated section table");
  for (uint16_t i = 0; i < l.sectionCount; ++i) {
    const size_t at = l.sectionTable + kSectionHeaderSize * i;
    Section s;
    std::memcpy(s.name, pe.data() + at, 8);
    s.virtualSize = GetU32(pe, at + 8);
    s.virtualAddress = GetU32(pe, at + 12);
    s.rawSize = GetU32(pe, at + 16);
    s.rawPointer = GetU32(pe, at + 20);
    if (s.rawSize != 0 && uint64_t(s.rawPointer) + s.rawSize > pe.size())
      Refuse(std::string("section ") + s.name + " extends past the end of the file (truncated?)");
    l.sections.push_back(s);
  }
  return l;
}

}  // namespace

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

uint16_t StubMachine(const Bytes& stub) { return GetU16(stub, ReadLayout(stub).coff); }

Bytes AddResourceSection(const Bytes& stub, const ResourceSet& resources) {
  const Layout l = ReadLayout(stub);

  if (GetU32(stub, l.Directory(kResourceDirectory)) != 0 || GetU32(stub, l.Directory(kResourceDirectory) + 4) != 0)
    Refuse("already has a resource directory; the packer needs a stub without resources");
  for (const Section& s : l.sections)
    if (std::strcmp(s.name, ".rsrc") == 0) Refuse("already has a .rsrc section");
  if (l.directoryCount > kSecurityDirectory && GetU32(stub, l.Directory(kSecurityDirectory) + 4) != 0)
    Refuse("is signed; pack the stub first and sign the packed installer");

  // The new header goes right after the last one, into space the headers
  // already reserve; it must be unused and end before any section's data.
  const size_t newHeader = l.sectionTable + kSectionHeaderSize * l.sectionCount;
  size_t firstRaw = l.sizeOfHeaders;
  for (const Section& s : l.sections)
    if (s.rawSize != 0) firstRaw = std::min<size_t>(firstRaw, s.rawPointer);
  // SizeOfHeaders may claim more than the file holds.
  if (newHeader + kSectionHeaderSize > firstRaw || newHeader + kSectionHeaderSize > stub.size() ||
      std::any_of(stub.begin() + newHeader, stub.begin() + newHeader + kSectionHeaderSize, [](char c) { return c != 0; }))
    Refuse("has no room for another section header");

  uint64_t imageEnd = AlignUp(l.sizeOfHeaders, l.sectionAlignment);
  for (const Section& s : l.sections)
    imageEnd = std::max<uint64_t>(imageEnd, s.virtualAddress + AlignUp(std::max(s.virtualSize, s.rawSize), l.sectionAlignment));
  const uint64_t rva = AlignUp(imageEnd, l.sectionAlignment);

  const Bytes section = resources.BuildSection(uint32_t(rva));
  const uint64_t rawSize = AlignUp(section.size(), l.fileAlignment);
  // Whatever follows the sections stays in place: the section data goes
  // after it, so offsets into it (the symbol table pointer) stay valid.
  const uint64_t rawPointer = AlignUp(stub.size(), l.fileAlignment);
  const uint64_t sizeOfImage = AlignUp(rva + section.size(), l.sectionAlignment);
  const uint64_t initializedData = uint64_t(GetU32(stub, l.InitializedDataField())) + rawSize;
  if (rawPointer + rawSize > 0xFFFFFFFFull || sizeOfImage > 0xFFFFFFFFull || initializedData > 0xFFFFFFFFull)
    throw PackError("resources too large for a PE image (" + std::to_string(section.size()) + " bytes)");
  if (l.sectionCount == 0xFFFF) Refuse("has no room for another section");
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

  Bytes header;
  header.append(".rsrc\0\0\0", 8);
  PutU32(header, uint32_t(section.size()));
  PutU32(header, uint32_t(rva));
  PutU32(header, uint32_t(rawSize));
  PutU32(header, uint32_t(rawPointer));
  PutU32(header, 0);  // relocations
  PutU32(header, 0);  // line numbers
  PutU16(header, 0);
  PutU16(header, 0);
  PutU32(header, kInitializedReadOnly);
  out.replace(newHeader, kSectionHeaderSize, header);

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
