#pragma once
// The payload folder as the installer's "_7Z" resource.
#include <string>

#include "binary.h"

namespace quillpack {

// A 7z archive of the folder's contents made by 7zz with the given extra
// switches, its first two bytes exchanged as the installer expects them.
// An empty folder gives an empty (but valid) archive.
Bytes BuildPayload(const std::string& folder, const std::string& switches, const std::string& tempFolder);

}  // namespace quillpack
