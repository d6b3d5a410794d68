#pragma once
// The skin folder as the ZIP archive the window reads its layout from.
#include <string>

#include "binary.h"

namespace quillpack {

// Entries are named relative to the folder ("Layout/Layout.xml"), without
// directory entries or extra attributes. Throws PackError for an empty
// folder or a zip failure.
Bytes BuildSkinZip(const std::string& folder, const std::string& tempFolder);

}  // namespace quillpack
