#pragma once
// What a product's skin or payload folder holds, checked before it is
// packed.
#include <cstdint>
#include <string>
#include <vector>

namespace quillpack {

struct FolderEntry {
  std::string relative;  // below the folder, "/" between parts
  bool folder = false;
  uint64_t size = 0;   // files only
  uint64_t mtime = 0;  // 100 ns ticks since 1601 (UTC)
  bool readOnly = false;
};

// Everything below `folder`, hidden entries included, sorted by name
// (bytes of the UTF-8 names). Throws PackError naming the entry for a
// symbolic link or other reparse point (an archive would hold the link or
// its target, neither of which the installer should get) and for anything
// that is neither a file nor a folder.
std::vector<FolderEntry> ListFolder(const std::string& folder);

}  // namespace quillpack
