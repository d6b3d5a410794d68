#pragma once
// What a product's skin or payload folder holds, checked before an archiver
// reads it.
#include <cstdint>
#include <string>
#include <vector>

namespace quillpack {

struct FolderEntry {
  std::string relative;  // below the folder, "/" between parts
  bool folder = false;
  uint64_t size = 0;  // files only
};

// Everything below `folder`, hidden entries included, sorted by name.
// Throws PackError naming the entry for a symbolic link (archivers would
// store the link or its target, neither of which the installer should get)
// and for anything that is neither a file nor a folder.
std::vector<FolderEntry> ListFolder(const std::string& folder);

}  // namespace quillpack
