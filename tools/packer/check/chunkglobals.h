#pragma once
// The globals a compiled chunk assigns, found in its bytecode rather than
// by running it: every `name = ...` and `function name()` that stores into
// _ENV by a constant name, at top level or inside any function, with its
// line. Names built at run time (_G[x] = ..., rawset) are not seen.
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

struct GlobalWrite {
  std::string name;
  int line = 0;  // of the assignment; a function statement's first line
};

// `dump` is a Lua 5.2 chunk of this machine's layout with debug
// information (lua_dump of a freshly loaded chunk). Every assignment, in
// code order. Throws PackError for a chunk it cannot read.
std::vector<GlobalWrite> GlobalWrites(const Bytes& dump);

}  // namespace quillpack
