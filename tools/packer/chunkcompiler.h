#pragma once
// Lua source files as the installer's chunks: compiled by this machine's
// Lua 5.2, then rewritten in the 32-bit layout without debug information.
#include <string>

#include "binary.h"

namespace quillpack {

// Throws PackError with Lua's own "file:line: message" for a syntax error.
Bytes CompileChunk(const std::string& path);

// The source as luaL_loadfile takes it (which would open the file through
// the C library, by the ANSI code page on Windows): a UTF-8 byte order mark
// and a first "#" line are skipped, the line's end kept so line numbers in
// messages stay right. Throws PackError naming the file.
Bytes LuaSource(const std::string& path);

}  // namespace quillpack
