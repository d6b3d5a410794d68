#pragma once
// The payload as the installer will see it: item names it accepts, and an
// archive its decoder unpacks into exactly the folder's files.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "binary.h"
#include "folderlisting.h"

namespace quillpack {

// Throws PackError naming the first entry the installer would refuse or
// lose: a name that is not UTF-8, holds a character Windows does not allow,
// is a device name or ends in a dot or blank, and two names that differ only
// in case (Windows keeps one of them).
void CheckPayloadNames(const std::vector<FolderEntry>& entries, const std::string& folder);

// The coder chain of each solid block, named as `7zz l -slt` does ("BCJ
// LZMA2": the filter the data leaves last first), with its block count.
using PayloadChains = std::map<std::string, uint32_t>;

// Opens `archive` (in 7z order) with the installer's 7z decoder, decodes
// every item and checks the items against `entries`. Throws PackError with
// the decoder's verdict (an unsupported method, a CRC error) or the item
// that is missing, extra or of another size. Returns the blocks' chains.
PayloadChains CheckPayloadArchive(const Bytes& archive, const std::vector<FolderEntry>& entries,
                                  const std::string& folder);

}  // namespace quillpack
