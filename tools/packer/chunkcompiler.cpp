#include "chunkcompiler.h"

#include <memory>

#include "chunklayout.h"
#include "filebytes.h"
#include "lauxlib.h"
#include "lua.h"

namespace quillpack {
namespace {

int Collect(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<Bytes*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

}  // namespace

Bytes LuaSource(const std::string& path) {
  Bytes text = ReadFileBytes(path);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  if (!text.empty() && text[0] == '#') text.erase(0, text.find('\n') == std::string::npos ? text.size() : text.find('\n'));
  return text;
}

Bytes CompileChunk(const std::string& path) {
  std::unique_ptr<lua_State, decltype(&lua_close)> state(luaL_newstate(), lua_close);
  lua_State* L = state.get();
  if (!L) throw PackError("cannot create a Lua state (out of memory)");
  const Bytes source = LuaSource(path);
  if (luaL_loadbuffer(L, source.data(), source.size(), ("@" + path).c_str()) != LUA_OK) {
    const char* msg = lua_tostring(L, -1);
    throw PackError(msg ? msg : path + ": cannot compile");
  }
  Bytes native;
  if (lua_dump(L, Collect, &native) != 0 || native.empty()) throw PackError(path + ": cannot dump the compiled chunk");

  Bytes shipped;
  std::string error;
  if (!brix::ConvertChunkLayout(native.data(), native.size(), 4, true, shipped, error))
    throw PackError(path + ": " + error);
  // Read the result back the way a host of this machine's width would, so a
  // chunk that no loader accepts never gets into an installer.
  Bytes check;
  if (!brix::ConvertChunkLayout(shipped.data(), shipped.size(), int(sizeof(size_t)), false, check, error))
    throw PackError(path + ": converted chunk does not read back: " + error);
  if (luaL_loadbuffer(L, check.data(), check.size(), "=check") != LUA_OK)
    throw PackError(path + ": converted chunk does not load: " + std::string(lua_tostring(L, -1)));
  return shipped;
}

}  // namespace quillpack
