// GLibTab: libraries loaded on first mention (GLibTab.Kernel32) and cached in
// the table under the key the script used.
#include <windows.h>

#include "lauxlib.h"
#include "objecttypes.h"
#include "scriptobjects.h"
#include "strconv.h"

namespace brix {
namespace objects {
namespace {

// __index: table at 1, key on top. A failed load caches nothing, so the
// next access tries again.
int LoadOnIndex(lua_State* L) {
  if (lua_gettop(L) < 2 || lua_type(L, 1) != LUA_TTABLE) return 0;
  int keyType = lua_type(L, -1);
  if (keyType != LUA_TSTRING && keyType != LUA_TNUMBER) return 0;
  // A number key turns into its text here, and the entry is made under it.
  std::wstring name = ToWide(lua_tolstring(L, -1, nullptr), CP_UTF8);
  HMODULE module = LoadLibraryW(name.c_str());
  if (!module) return 0;
  lua_pushvalue(L, -1);
  PushDllManager(L, module);
  lua_pushvalue(L, -1);
  lua_insert(L, -3);
  lua_rawset(L, 1);
  return 1;
}

}  // namespace
}  // namespace objects

void CreateGLibTab(lua_State* L) {
  static const luaL_Reg kMeta[] = {{"__index", objects::LoadOnIndex}, {nullptr, nullptr}};
  lua_newtable(L);
  luaL_newmetatable(L, objects::kGLibTabMeta);
  lua_pushvalue(L, -1);
  lua_setfield(L, -2, "__index");
  luaL_setfuncs(L, kMeta, 0);
  lua_setmetatable(L, -2);
  lua_setglobal(L, "GLibTab");
}

}  // namespace brix
