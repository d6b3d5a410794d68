// seedchunk <lua source> <out prefix>: writes the source compiled by this
// machine's Lua as <prefix>-64.luac (as dumped), <prefix>-32.luac (the
// installer's layout) and <prefix>-32s.luac (stripped, as the packer ships).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "chunklayout.h"
#include "lauxlib.h"
#include "lua.h"

namespace {

int Collect(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: seedchunk <lua source> <out prefix>\n");
    return 2;
  }
  lua_State* L = luaL_newstate();
  if (luaL_loadfile(L, argv[1]) != LUA_OK) {
    std::fprintf(stderr, "%s\n", lua_tostring(L, -1));
    return 1;
  }
  std::string native, narrow, stripped, error;
  lua_dump(L, Collect, &native);
  lua_close(L);
  const std::string prefix = argv[2];
  if (!brix::ConvertChunkLayout(native.data(), native.size(), 4, false, narrow, error) ||
      !brix::ConvertChunkLayout(native.data(), native.size(), 4, true, stripped, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  return Write(prefix + "-64.luac", native) && Write(prefix + "-32.luac", narrow) &&
                 Write(prefix + "-32s.luac", stripped)
             ? 0
             : 1;
}
