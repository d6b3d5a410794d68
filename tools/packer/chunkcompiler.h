#pragma once
// Lua source files as the installer's chunks: compiled by this machine's
// Lua 5.2, then rewritten in the 32-bit layout without debug information.
#include <string>

#include "binary.h"

namespace quillpack {

// Throws PackError with Lua's own "file:line: message" for a syntax error.
Bytes CompileChunk(const std::string& path);

}  // namespace quillpack
