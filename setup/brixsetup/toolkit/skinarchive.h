#pragma once
// The skin archive: a ZIP read in place from memory (the executable's
// resource stays mapped, so nothing is copied). Stored and deflated entries,
// CRC checked, traditional ZIP encryption with the given password. Every
// read is bounds-checked against the archive's bytes; sizes above the
// limits below are refused as zip bombs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brixui {

class SkinArchive {
 public:
  static constexpr uint64_t kMaxEntryBytes = 64ull << 20;
  static constexpr uint64_t kMaxTotalBytes = 256ull << 20;

  SkinArchive() = default;
  SkinArchive(const SkinArchive&) = delete;
  SkinArchive& operator=(const SkinArchive&) = delete;

  // Reads the central directory. `label` names the archive in reports.
  // False (with a report) for anything that is not a readable ZIP.
  bool Open(const void* data, size_t size, const std::string& password,
            const std::string& label = "skin archive");
  bool IsOpen() const { return data_ != nullptr; }

  // Entry names as stored ("Layout/Layout.xml"), in directory order.
  std::vector<std::string> Names() const;
  // Lookup ignores ASCII case and treats '\' as '/'.
  bool Contains(const std::string& name) const;
  // The entry's bytes, checked against its CRC. False with a report when
  // it is missing, damaged, encrypted without the right password or too big.
  bool Read(const std::string& name, std::vector<uint8_t>& out) const;

 private:
  struct Entry {
    std::string name;
    std::string key;  // lower case, forward slashes
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t modTime = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint64_t localOffset = 0;
  };
  const Entry* Find(const std::string& name) const;
  bool Fail(const std::string& entry, const std::string& what) const;

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  std::string password_;
  std::string label_;
  std::vector<Entry> entries_;
};

// Lower case with forward slashes: the form entry names are compared in.
std::string NormaliseEntryName(const std::string& name);

}  // namespace brixui
