#pragma once
// Where the fields the packer reads or changes lie in one PE32 or PE32+
// image, read with the checks every writer of the image needs.
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

constexpr uint16_t kPe32 = 0x10B;
constexpr uint16_t kPe32Plus = 0x20B;
constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kInitializedReadOnly = 0x40000040;  // CNT_INITIALIZED_DATA | MEM_READ

// Indexes into the optional header's data directories.
enum PeDirectory : uint32_t {
  kExportDirectory = 0,
  kImportDirectory = 1,
  kResourceDirectory = 2,
  kSecurityDirectory = 4,
  kRelocationDirectory = 5,
  kDebugDirectory = 6,
  kTlsDirectory = 9,
  kLoadConfigDirectory = 10,
  kBoundImportDirectory = 11,
  kImportAddressTableDirectory = 12,
  kDelayImportDirectory = 13,
  kClrDirectory = 14,
};

struct PeSection {
  char name[9] = {};
  uint32_t virtualSize, virtualAddress, rawSize, rawPointer, characteristics;
  size_t header;  // file offset of its header
};

struct PeLayout {
  size_t coff, optional, sectionTable;
  uint16_t sectionCount;
  uint16_t magic;
  uint32_t fileAlignment, sectionAlignment, sizeOfHeaders;
  size_t dataDirectories;
  uint32_t directoryCount;
  std::vector<PeSection> sections;

  size_t Directory(uint32_t index) const { return dataDirectories + 8 * index; }
  size_t EntryPointField() const { return optional + 16; }
  size_t SizeOfImageField() const { return optional + 56; }
  size_t ChecksumField() const { return optional + 64; }
  size_t InitializedDataField() const { return optional + 8; }
  size_t PointerSize() const { return magic == kPe32 ? 4 : 8; }
  uint64_t ImageBase(const Bytes& pe) const;
  // The section whose memory holds `rva`, or null.
  const PeSection* SectionAt(uint32_t rva) const;
  // Where the image's memory ends: the address a new last section gets.
  uint64_t ImageEnd() const;
  // The file offset for `count` more section headers after the last one, in
  // space the headers already reserve, unused and before any section's
  // data; throws PackError when there is none.
  size_t NewSectionHeaders(const Bytes& pe, size_t count) const;
};

// A section header as the section table holds it (the name up to 8 bytes).
Bytes SectionHeader(const std::string& name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize, uint32_t rawPointer,
                    uint32_t characteristics);

// Throws PackError("stub: ...") for what is no executable PE image or has a
// header the packer cannot trust.
PeLayout ReadPeLayout(const Bytes& pe);

[[noreturn]] void RefuseStub(const std::string& why);

}  // namespace quillpack
