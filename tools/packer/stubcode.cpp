#include "stubcode.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "blockencoder.h"
#include "codeloaderrecord.h"
#include "pelayout.h"
#include "peresources.h"
#include "sevenzipheader.h"

namespace quillpack {
namespace {

constexpr uint32_t kDiscardable = 0x02000000;
constexpr uint32_t kShared = 0x10000000;
constexpr uint32_t kPage = 0x1000;
constexpr uint16_t kRelocAbsolute = 0, kRelocHighLow = 3, kRelocDir64 = 10;

// Thrown inside this file for a stub that has the loader but that it cannot
// compress safely: the stub is then packed as it is.
struct LeavePlain {
  std::string why;
};

uint64_t GetPointer(const Bytes& b, size_t at, size_t size) { return size == 4 ? GetU32(b, at) : GetU64(b, at); }
void SetPointer(Bytes& b, size_t at, size_t size, uint64_t v) {
  if (size == 4)
    SetU32(b, at, uint32_t(v));
  else
    SetU64(b, at, v);
}

// The file offset of `size` bytes at `rva`, all inside one section's data.
size_t FileOffset(const PeLayout& l, uint32_t rva, size_t size, const char* what) {
  const PeSection* s = l.SectionAt(rva);
  if (!s || rva - s->virtualAddress + uint64_t(size) > s->rawSize)
    RefuseStub(std::string(what) + " lies outside the file's section data");
  return s->rawPointer + (rva - s->virtualAddress);
}

struct Directories {
  uint32_t rva[16] = {}, size[16] = {};
};

Directories ReadDirectories(const Bytes& pe, const PeLayout& l) {
  Directories d;
  for (uint32_t i = 0; i < std::min<uint32_t>(l.directoryCount, 16); ++i) {
    d.rva[i] = GetU32(pe, l.Directory(i));
    d.size[i] = GetU32(pe, l.Directory(i) + 4);
  }
  return d;
}

struct Range {
  const PeSection* section;
  uint32_t size;
};

bool Overlaps(uint32_t a, uint64_t aSize, uint32_t b, uint64_t bSize) {
  return aSize && bSize && a < b + bSize && b < a + aSize;
}

// The sections the stream may hold: not the loader's, none the system reads
// before the loader runs, nothing only mapped (.bss) or thrown away.
std::vector<Range> ChooseRanges(const Bytes& pe, const PeLayout& l, const Directories& d, uint64_t imageBase) {
  std::vector<std::pair<uint32_t, uint64_t>> keep;
  for (uint32_t i : {kExportDirectory, kImportDirectory, kResourceDirectory, kRelocationDirectory, kImportAddressTableDirectory})
    keep.emplace_back(d.rva[i], d.size[i]);
  if (d.size[kTlsDirectory]) {
    const size_t p = l.PointerSize(), at = FileOffset(l, d.rva[kTlsDirectory], CODELOADER_TLS_SIZE(p), "the TLS directory");
    const uint64_t start = GetPointer(pe, at, p), end = GetPointer(pe, at + p, p);
    if (start < imageBase || end < start) RefuseStub("TLS template outside the image");
    keep.emplace_back(uint32_t(start - imageBase), std::max<uint64_t>(end - start, 1));
  }
  std::vector<Range> ranges;
  for (const PeSection& s : l.sections) {
    const uint32_t size = std::min(s.rawSize, s.virtualSize);
    if (!size || !std::strcmp(s.name, ".qload") || !std::strcmp(s.name, ".qldata") ||
        (s.characteristics & (kDiscardable | kShared)))
      continue;
    if (std::any_of(keep.begin(), keep.end(), [&](const auto& k) {
          return Overlaps(s.virtualAddress, std::max(s.virtualSize, s.rawSize), k.first, k.second);
        }))
      continue;
    ranges.push_back({&s, size});
  }
  if (ranges.size() > CODELOADER_MAX_RANGES)
    throw LeavePlain{"it has more than " + std::to_string(CODELOADER_MAX_RANGES) + " sections to compress"};
  return ranges;
}

// Every relocation inside the stream's pages must be one the loader applies
// again, and lie wholly inside what it unpacks. Returns the relocated places.
std::set<uint32_t> CheckRelocations(const Bytes& pe, const PeLayout& l, const Directories& d,
                                    const std::vector<Range>& ranges) {
  std::set<uint32_t> relocated;
  if (!d.size[kRelocationDirectory]) return relocated;
  size_t at = FileOffset(l, d.rva[kRelocationDirectory], d.size[kRelocationDirectory], "the relocation table");
  const size_t end = at + d.size[kRelocationDirectory];
  while (end - at >= 8) {
    const uint32_t page = GetU32(pe, at), blockSize = GetU32(pe, at + 4);
    if (blockSize < 8 || blockSize > end - at) RefuseStub("malformed relocation table");
    const Range* range = nullptr;
    for (const Range& r : ranges)
      if (page >= r.section->virtualAddress && page - r.section->virtualAddress < r.size) range = &r;
    for (size_t e = at + 8; e + 2 <= at + blockSize; e += 2) {
      const uint16_t entry = GetU16(pe, e), type = entry >> 12;
      const uint32_t rva = page + (entry & 0xFFF);
      if (type == kRelocAbsolute) continue;
      relocated.insert(rva);
      const uint32_t width = type == kRelocDir64 ? 8 : 4;
      bool inside = false;
      for (const Range& r : ranges) {
        if (!Overlaps(rva, width, r.section->virtualAddress, r.size)) continue;
        if (rva < r.section->virtualAddress || rva + width > r.section->virtualAddress + r.size)
          throw LeavePlain{"a relocation straddles the end of section " + std::string(r.section->name)};
        inside = true;
      }
      // The loader picks the blocks to apply by their page.
      if (range && !inside)
        throw LeavePlain{"a relocation lies past the data of section " + std::string(range->section->name)};
      if (inside && !range) throw LeavePlain{"a relocation block reaches into a section from outside it"};
      if (!inside) continue;
      if (type != kRelocHighLow && !(type == kRelocDir64 && l.magic == kPe32Plus))
        throw LeavePlain{"relocations of type " + std::to_string(type) + " in section " + range->section->name};
    }
    at += blockSize;
  }
  return relocated;
}

class MemoryInput : public BlockInput {
 public:
  explicit MemoryInput(const Bytes& b) : bytes_(b) {}
  size_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min(size, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  const Bytes& bytes_;
  size_t at_ = 0;
};

// Where the loader's record lies in the file, or npos without a loader.
// The record and the slots after it (`size` bytes) lie in the section's data.
size_t FindRecord(const Bytes& pe, const PeLayout& l, size_t size, uint32_t* rva) {
  for (const PeSection& s : l.sections) {
    if (std::strcmp(s.name, ".qldata") != 0 || !s.rawSize) continue;
    const Bytes data = pe.substr(s.rawPointer, std::min(s.rawSize, s.virtualSize));
    const size_t found = data.find(Bytes(CODELOADER_MAGIC, CODELOADER_MAGIC_SIZE));
    if (found == Bytes::npos) continue;
    if (found % 8 != 0 || data.size() - found < size) RefuseStub("the code loader's record is misplaced or cut short");
    *rva = uint32_t(s.virtualAddress + found);
    return s.rawPointer + found;
  }
  return Bytes::npos;
}

CompressedStub Compress(const Bytes& stub) {
  const PeLayout l = ReadPeLayout(stub);
  CompressedStub result{stub, {}, 0, 0};
  const size_t p = l.PointerSize(), tlsSize = CODELOADER_TLS_SIZE(p);
  uint32_t recordRva = 0;
  const size_t recordAt = FindRecord(stub, l, sizeof(CodeLoaderRecord) + tlsSize + 4 * p, &recordRva);
  if (recordAt == Bytes::npos) return result;
  const size_t entryAt = recordAt + sizeof(CodeLoaderRecord) + tlsSize + 2 * p;
  if (GetU32(stub, recordAt + offsetof(CodeLoaderRecord, rangeCount)) != 0)
    RefuseStub("its code is already compressed; give the stub as it was built");

  const Directories d = ReadDirectories(stub, l);
  if (l.sectionAlignment < kPage) throw LeavePlain{"its sections are aligned to less than a page"};
  if (GetU32(stub, l.coff + 8) != 0) throw LeavePlain{"it carries a symbol table (strip it)"};
  for (uint32_t i : {kSecurityDirectory, kDebugDirectory, kLoadConfigDirectory, kBoundImportDirectory, kDelayImportDirectory, kClrDirectory})
    if (d.size[i]) throw LeavePlain{"it has data directory " + std::to_string(i) + ", which the loader does not handle"};

  const uint64_t imageBase = l.ImageBase(stub);
  const std::vector<Range> ranges = ChooseRanges(stub, l, d, imageBase);
  if (ranges.empty()) throw LeavePlain{"it has no section to compress"};
  const std::set<uint32_t> relocated = CheckRelocations(stub, l, d, ranges);
  // The loader's own addresses must follow the image wherever it is loaded.
  const uint32_t slotsRva = recordRva + sizeof(CodeLoaderRecord);
  if (d.size[kRelocationDirectory])
    for (size_t slot : {size_t(0), p, 2 * p, 3 * p, tlsSize, tlsSize + 2 * p, tlsSize + 3 * p})
      if (!relocated.count(uint32_t(slotsRva + slot)))
        RefuseStub("the code loader's record has an address without a relocation");

  // Room for this section's header and the resources' after it.
  const size_t newHeader = l.NewSectionHeaders(stub, 2);
  const uint64_t imageEnd = l.ImageEnd();
  if (imageEnd + stub.size() + (uint64_t(1) << 20) > 0xFFFFFFFFull) RefuseStub("image too large");
  const uint64_t loaderEntry = GetPointer(stub, entryAt, p);
  if (loaderEntry <= imageBase || loaderEntry - imageBase >= imageEnd)
    RefuseStub("the code loader's entry point lies outside the image");

  Bytes code;
  for (const Range& r : ranges) code.append(stub, r.section->rawPointer, r.size);
  const uint32_t crc = Crc32(code.data(), code.size());
  CoderSettings settings;
  settings.lzma2 = false;
  settings.dictionary = uint32_t(std::max<size_t>(AlignUp(code.size(), 1 << 16), 1 << 16));
  settings.fb = 273;
  settings.threads = 1;
  MemoryInput input(code);
  Bytes packed;
  const EncodedBlock block = EncodeBlock(settings, true, code.size(), input, packed);
  if (block.properties.size() != CODELOADER_PROPS_SIZE) RefuseStub("unexpected LZMA properties");

  // The sections keep their order in the file; the compressed ones hold no
  // data there any more.
  Bytes out = stub.substr(0, l.sizeOfHeaders);
  std::vector<const PeSection*> byFile;
  for (const PeSection& s : l.sections)
    if (s.rawSize) byFile.push_back(&s);
  std::sort(byFile.begin(), byFile.end(), [](auto a, auto b) { return a->rawPointer < b->rawPointer; });
  size_t newRecordAt = Bytes::npos;
  for (const PeSection* s : byFile) {
    const bool compressed = std::any_of(ranges.begin(), ranges.end(), [&](const Range& r) { return r.section == s; });
    if (compressed) {
      SetU32(out, s->header + 16, 0);
      SetU32(out, s->header + 20, 0);
      continue;
    }
    PadTo(out, l.fileAlignment);
    if (recordAt >= s->rawPointer && recordAt < s->rawPointer + s->rawSize)
      newRecordAt = out.size() + (recordAt - s->rawPointer);
    SetU32(out, s->header + 20, uint32_t(out.size()));
    out.append(stub, s->rawPointer, s->rawSize);
  }
  PadTo(out, l.fileAlignment);
  if (newRecordAt == Bytes::npos) RefuseStub("the code loader's record lies outside its section");
  const uint32_t packedRva = uint32_t(imageEnd), packedAt = uint32_t(out.size());
  out += packed;
  PadTo(out, l.fileAlignment);

  out.replace(newHeader, kSectionHeaderSize,
              SectionHeader(".qlpack", uint32_t(packed.size()), packedRva, uint32_t(out.size() - packedAt), packedAt,
                            kInitializedReadOnly));
  SetU16(out, l.coff + 2, uint16_t(l.sectionCount + 1));
  SetU32(out, l.SizeOfImageField(), uint32_t(AlignUp(packedRva + packed.size(), l.sectionAlignment)));

  // The record, and the loader's slots: the program's TLS directory and
  // entry point become the loader's.
  const size_t r = newRecordAt, s = r + sizeof(CodeLoaderRecord);
  SetU32(out, r + offsetof(CodeLoaderRecord, packedRva), packedRva);
  SetU32(out, r + offsetof(CodeLoaderRecord, packedSize), uint32_t(packed.size()));
  SetU32(out, r + offsetof(CodeLoaderRecord, unpackedSize), uint32_t(code.size()));
  SetU32(out, r + offsetof(CodeLoaderRecord, crc), crc);
  SetU32(out, r + offsetof(CodeLoaderRecord, entryRva), GetU32(stub, l.EntryPointField()));
  SetU32(out, r + offsetof(CodeLoaderRecord, rangeCount), uint32_t(ranges.size()));
  SetU64(out, r + offsetof(CodeLoaderRecord, preferredBase), imageBase);
  out.replace(r + offsetof(CodeLoaderRecord, props), CODELOADER_PROPS_SIZE, block.properties);
  for (size_t i = 0; i < ranges.size(); ++i) {
    const size_t at = r + offsetof(CodeLoaderRecord, ranges) + i * sizeof(CodeLoaderRange);
    SetU32(out, at, ranges[i].section->virtualAddress);
    SetU32(out, at + 4, ranges[i].size);
  }
  SetU32(out, l.EntryPointField(), uint32_t(loaderEntry - imageBase));
  if (d.size[kTlsDirectory]) {
    const size_t tls = FileOffset(l, d.rva[kTlsDirectory], tlsSize, "the TLS directory");
    // Start, end and index; the callback list stays the loader's.
    for (size_t i = 0; i < 3; ++i) SetPointer(out, s + i * p, p, GetPointer(stub, tls + i * p, p));
    out.replace(s + 4 * p, 8, stub.substr(tls + 4 * p, 8));  // zero fill, characteristics
    SetPointer(out, s + tlsSize + 3 * p, p, GetPointer(stub, tls + 3 * p, p));
    SetU32(out, l.Directory(kTlsDirectory), slotsRva);
    SetU32(out, l.Directory(kTlsDirectory) + 4, uint32_t(tlsSize));
  } else {
    SetPointer(out, s + tlsSize + 3 * p, p, 0);
  }
  SetU32(out, l.ChecksumField(), 0);
  SetU32(out, l.ChecksumField(), PeChecksum(out, l.ChecksumField()));
  result.image = std::move(out);
  result.codeBytes = code.size();
  result.packedBytes = packed.size();
  return result;
}

}  // namespace

CompressedStub CompressStubCode(const Bytes& stub) {
  try {
    return Compress(stub);
  } catch (const LeavePlain& plain) {
    return {stub, plain.why, 0, 0};
  }
}

}  // namespace quillpack
