#include "pelayout.h"

#include <algorithm>
#include <cstring>

namespace quillpack {
namespace {

constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint32_t kMaxFileAlignment = 0x10000;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

void RefuseStub(const std::string& why) { throw PackError("stub: " + why); }

uint64_t PeLayout::ImageBase(const Bytes& pe) const {
  return magic == kPe32 ? GetU32(pe, optional + 28) : GetU64(pe, optional + 24);
}

uint64_t PeLayout::ImageEnd() const {
  uint64_t end = AlignUp(sizeOfHeaders, sectionAlignment);
  for (const PeSection& s : sections)
    end = std::max<uint64_t>(end, s.virtualAddress + AlignUp(std::max(s.virtualSize, s.rawSize), sectionAlignment));
  return end;
}

size_t PeLayout::NewSectionHeaders(const Bytes& pe, size_t count) const {
  const size_t at = sectionTable + kSectionHeaderSize * sectionCount, end = at + kSectionHeaderSize * count;
  size_t firstRaw = sizeOfHeaders;
  for (const PeSection& s : sections)
    if (s.rawSize != 0) firstRaw = std::min<size_t>(firstRaw, s.rawPointer);
  // SizeOfHeaders may claim more than the file holds.
  if (end > firstRaw || end > pe.size() || sectionCount + count > 0xFFFF ||
      std::any_of(pe.begin() + at, pe.begin() + end, [](char c) { return c != 0; }))
    RefuseStub("has no room for another section header");
  return at;
}

Bytes SectionHeader(const std::string& name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize, uint32_t rawPointer,
                    uint32_t characteristics) {
  Bytes header = name;
  header.resize(8, '\0');
  PutU32(header, virtualSize);
  PutU32(header, rva);
  PutU32(header, rawSize);
  PutU32(header, rawPointer);
  PutU32(header, 0);  // relocations
  PutU32(header, 0);  // line numbers
  PutU16(header, 0);
  PutU16(header, 0);
  PutU32(header, characteristics);
  return header;
}

const PeSection* PeLayout::SectionAt(uint32_t rva) const {
  for (const PeSection& s : sections)
    if (rva >= s.virtualAddress && rva - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) return &s;
  return nullptr;
}

PeLayout ReadPeLayout(const Bytes& pe) {
  PeLayout l{};
  if (pe.size() < 64 || pe[0] != 'M' || pe[1] != 'Z') RefuseStub("not a Windows executable (no MZ header)");
  const uint32_t peOffset = GetU32(pe, 0x3C);
  if (uint64_t(peOffset) + 24 > pe.size() || std::memcmp(pe.data() + peOffset, "PE\0\0", 4) != 0)
    RefuseStub("not a PE executable (no PE signature)");
  // Loaders read the headers as aligned structures, and the checksum sums
  // aligned 16-bit words, its own field left out.
  if (peOffset % 4 != 0) RefuseStub("PE header at offset " + std::to_string(peOffset) + " is not 4-byte aligned");
  l.coff = peOffset + 4;
  l.sectionCount = GetU16(pe, l.coff + 2);
  const uint16_t optionalSize = GetU16(pe, l.coff + 16);
  if (!(GetU16(pe, l.coff + 18) & kExecutableImage)) RefuseStub("not an executable image");
  l.optional = l.coff + 20;
  if (l.optional + optionalSize > pe.size() || optionalSize < 2) RefuseStub("truncated optional header");
  l.magic = GetU16(pe, l.optional);
  size_t countField;
  if (l.magic == kPe32) {
    countField = l.optional + 92;
    l.dataDirectories = l.optional + 96;
  } else if (l.magic == kPe32Plus) {
    countField = l.optional + 108;
    l.dataDirectories = l.optional + 112;
  } else {
    RefuseStub("unknown optional header magic " + std::to_string(l.magic));
  }
  if (countField + 4 > l.optional + optionalSize) RefuseStub("truncated optional header");
  l.directoryCount = GetU32(pe, countField);
  l.directoryCount = std::min<uint32_t>(l.directoryCount, uint32_t((l.optional + optionalSize - l.dataDirectories) / 8));
  if (l.directoryCount <= kResourceDirectory) RefuseStub("optional header has no resource directory entry");
  l.sectionAlignment = GetU32(pe, l.optional + 32);
  l.fileAlignment = GetU32(pe, l.optional + 36);
  l.sizeOfHeaders = GetU32(pe, l.optional + 60);
  if (!IsPowerOfTwo(l.fileAlignment) || !IsPowerOfTwo(l.sectionAlignment) || l.sectionAlignment < l.fileAlignment)
    RefuseStub("invalid file or section alignment");
  // The new section is padded to the file alignment: a forged one of, say,
  // 256 MiB would make the installer that large.
  if (l.fileAlignment > kMaxFileAlignment)
    RefuseStub("file alignment " + std::to_string(l.fileAlignment) + " is larger than the 64 KiB a PE image may use");

  l.sectionTable = l.optional + optionalSize;
  if (l.sectionTable + kSectionHeaderSize * l.sectionCount > pe.size()) RefuseStub("truncated section table");
  for (uint16_t i = 0; i < l.sectionCount; ++i) {
    const size_t at = l.sectionTable + kSectionHeaderSize * i;
    PeSection s;
    s.header = at;
    std::memcpy(s.name, pe.data() + at, 8);
    s.virtualSize = GetU32(pe, at + 8);
    s.virtualAddress = GetU32(pe, at + 12);
    s.rawSize = GetU32(pe, at + 16);
    s.rawPointer = GetU32(pe, at + 20);
    s.characteristics = GetU32(pe, at + 36);
    if (s.rawSize != 0 && uint64_t(s.rawPointer) + s.rawSize > pe.size())
      RefuseStub(std::string("section ") + s.name + " extends past the end of the file (truncated?)");
    l.sections.push_back(s);
  }
  return l;
}

}  // namespace quillpack
