#pragma once
// Lua 5.2 precompiled chunks store string lengths as size_t, so a chunk
// dumped by a 64-bit Lua cannot be loaded by a 32-bit one and the other way
// round. The installers ship chunks in the 32-bit layout; these helpers
// rewrite a chunk for the other width (and optionally drop its debug
// information, as `luac -s` does) without needing a Lua state.
#include <cstddef>
#include <string>

namespace brix {

// True when the bytes start with the precompiled-chunk signature ESC "Lua".
bool IsPrecompiledChunk(const void* data, size_t size);

// Width of size_t (4 or 8) recorded in the header of a Lua 5.2 chunk for a
// little-endian machine with 4-byte int and instruction and 8-byte double
// numbers; 0 when the header is missing, truncated or anything else.
int ChunkSizeTWidth(const void* data, size_t size);

// Rewrites the chunk with size_t fields of targetSizeT bytes (4 or 8); with
// strip, debug information (source name, line info, local and upvalue names)
// is left out. The whole chunk is validated on the way: on any fault returns
// false, leaves out untouched and describes the fault in error.
bool ConvertChunkLayout(const void* data, size_t size, int targetSizeT, bool strip,
                        std::string& out, std::string& error);

}  // namespace brix
