#include "objecttypes.h"

#include <cstring>

#include "lauxlib.h"

namespace brix::objects {
namespace {

// Raw comparison of the metatable on top with a registry entry; pops nothing.
bool TopIsRegistered(lua_State* L, const char* name) {
  lua_getfield(L, LUA_REGISTRYINDEX, name);
  bool same = lua_rawequal(L, -1, -2) != 0;
  lua_pop(L, 1);
  return same;
}

}  // namespace

Kind KindOf(lua_State* L, int idx) {
  if (lua_type(L, idx) != LUA_TUSERDATA || !lua_getmetatable(L, idx)) return Kind::kOther;
  Kind kind = Kind::kOther;
  if (TopIsRegistered(L, kAStringMeta)) kind = Kind::kAString;
  else if (TopIsRegistered(L, kWStringMeta)) kind = Kind::kWString;
  else if (TopIsRegistered(L, kRawBufferMeta)) kind = Kind::kRawBuffer;
  else if (TopIsRegistered(L, kDllManagerMeta)) kind = Kind::kDllManager;
  lua_pop(L, 1);
  return kind;
}

bool IsKind(lua_State* L, int idx, Kind kind) { return KindOf(L, idx) == kind; }

bool IsBufferKind(Kind kind) {
  return kind == Kind::kAString || kind == Kind::kWString || kind == Kind::kRawBuffer;
}

Block BlockOf(lua_State* L, int idx) {
  Block b;
  if (lua_type(L, idx) == LUA_TUSERDATA) {
    b.data = static_cast<unsigned char*>(lua_touserdata(L, idx));
    b.size = lua_rawlen(L, idx);
  }
  return b;
}

void PushDllManager(lua_State* L, HMODULE module) {
  void* block = lua_newuserdata(L, sizeof(HMODULE));
  std::memcpy(block, &module, sizeof(HMODULE));
  luaL_setmetatable(L, kDllManagerMeta);
}

bool ToDllManager(lua_State* L, int idx, HMODULE* module) {
  if (!IsKind(L, idx, Kind::kDllManager)) return false;
  Block b = BlockOf(L, idx);
  if (b.size < sizeof(HMODULE)) return false;
  std::memcpy(module, b.data, sizeof(HMODULE));
  return true;
}

int OpenModule(lua_State* L, const luaL_Reg* module, const char* meta, const luaL_Reg* methods) {
  lua_newtable(L);
  luaL_setfuncs(L, module, 0);
  luaL_newmetatable(L, meta);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, methods, 0);
  lua_pop(L, 1);
  return 1;
}

}  // namespace brix::objects
