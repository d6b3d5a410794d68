#pragma once
// The skin folder as the ZIP archive the window reads its layout from.
#include <string>

#include "binary.h"
#include "sourcedate.h"

namespace quillpack {

// Entries are named relative to the folder ("Layout/Layout.xml") and
// sorted by name, without directory entries; times are the files' own,
// held to `limit`. Throws PackError for an empty folder, a name that is not
// UTF-8 and files larger than the installer's skin reader takes.
Bytes BuildSkinZip(const std::string& folder, const TimeLimit& limit);

}  // namespace quillpack
