#pragma once
// A 7z archive written by the packer itself: files read from disk in pieces
// (or given in memory), ordered and grouped into solid blocks, each block
// compressed by LZMA or LZMA2, with BCJ before it for x86 code, and the
// header compressed as 7-Zip does by default. The same items and settings
// give the same bytes on every system.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "binary.h"
#include "blockencoder.h"

namespace quillpack {

class Progress;

struct SevenZipSettings {
  CoderSettings coder;
  // BCJ for no file, for x86 and x64 PE files (in blocks of their own), or
  // for every file.
  enum class Filter { kOff, kExecutables, kAll } filter = Filter::kOff;
  // A block takes files while they stay within this many bytes (a larger
  // file gets one of its own); 0 gives every file its own block.
  uint64_t solidBytes = uint64_t(512) << 20;
  // Files by extension, then name, then path (related files of different
  // folders end up next to each other); else by path.
  bool sortByType = true;
  bool compressHeader = true;
};

// Windows attributes as stored: a folder is a folder, a file is "archive",
// plus read-only when nobody may write it; nothing else, so the same tree
// gives the same bytes on Linux and Windows.
constexpr uint32_t kAttributeReadOnly = 0x01;
constexpr uint32_t kAttributeFolder = 0x10;
constexpr uint32_t kAttributeArchive = 0x20;

class SevenZipWriter {
 public:
  explicit SevenZipWriter(const SevenZipSettings& settings) : settings_(settings) {}

  // Names are UTF-8 with '/' between parts; a name that is not UTF-8 is a
  // PackError. Times are 100 ns ticks since 1601 (UTC); none is stored
  // when not given.
  void AddFolder(const std::string& name, std::optional<uint64_t> mtime);
  // `size` is what the listing said: a file that reads otherwise is a
  // PackError (it changed while it was packed).
  void AddFile(const std::string& name, const std::string& path, uint64_t size, std::optional<uint64_t> mtime,
               bool readOnly);
  void AddBytes(const std::string& name, Bytes data, std::optional<uint64_t> mtime);

  // Compresses everything and returns the archive; `progress` (if any) is
  // told the bytes compressed. No items give the 32-byte empty archive.
  Bytes Finish(Progress* progress);

 private:
  struct Item {
    std::string name;
    std::u16string wide;
    bool folder = false;
    std::string path;  // read from here, or:
    Bytes data;        // held in memory
    bool inMemory = false;
    uint64_t size = 0;
    std::optional<uint64_t> mtime;
    uint32_t attributes = 0;
    bool bcj = false;
    uint32_t crc = 0;
  };
  class Reader;

  void Add(Item item);
  bool IsX86Executable(const Item& item) const;
  bool Before(const Item& a, const Item& b) const;

  SevenZipSettings settings_;
  std::vector<Item> items_;
};

}  // namespace quillpack
