#pragma once
// The payload as the installer will see it: item names it accepts, and an
// archive its decoder unpacks into exactly the folder's files.
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

// Opens `archive` (in 7z order) with the installer's 7z decoder, decodes
// every item and checks the items against `entries`. Throws PackError with
// the decoder's verdict (an unsupported method, a CRC error) or the item
// that is missing, extra or of another size.
void CheckPayloadArchive(const Bytes& archive, const std::vector<FolderEntry>& entries, const std::string& folder);

}  // namespace quillpack
