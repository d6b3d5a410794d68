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

class Progress;

// Opens `archive` (in 7z order) with the installer's own decoder and
// unpacks every item the way the installer does: each block streamed, each
// file's CRC checked. The items must be exactly `entries`, as files and
// folders of the same sizes, and every block one the installer streams.
// Throws PackError with the decoder's verdict (a CRC error, a damaged
// block) or the item that is missing, extra or different. `progress` (if
// any) is told the bytes decoded.
void CheckPayloadArchive(const Bytes& archive, const std::vector<FolderEntry>& entries, const std::string& folder,
                         Progress* progress);

}  // namespace quillpack
