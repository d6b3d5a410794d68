#pragma once
// The payload folder as the installer's "_7Z" resource.
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

// A 7z archive of the folder's contents made by 7zz with the given extra
// switches (checked by CheckPayloadSwitches), its first two bytes exchanged
// as the installer expects them. An empty folder gives an empty (but valid)
// archive. The folder must hold only files and folders with names the
// installer accepts, and the archive is unpacked once with the installer's
// decoder before it is used.
Bytes BuildPayload(const std::string& folder, const std::vector<std::string>& switches, const std::string& tempFolder);

}  // namespace quillpack
