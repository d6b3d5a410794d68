#include "scriptglobals.h"

#include "strconv.h"

namespace brix {

std::wstring ReadGlobalText(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  std::wstring value = ToWide(lua_tolstring(L, -1, nullptr));
  lua_pop(L, 1);
  return value;
}

int ReadGlobalInteger(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  int value = static_cast<int>(lua_tointegerx(L, -1, nullptr));
  lua_pop(L, 1);
  return value;
}

bool ReadGlobalFlag(lua_State* L, const char* name) {
  lua_getglobal(L, name);
  bool value = lua_toboolean(L, -1) != 0;
  lua_pop(L, 1);
  return value;
}

void WriteGlobalText(lua_State* L, const char* name, const std::wstring& value) {
  lua_pushstring(L, WideToUtf8(value).c_str());
  lua_setglobal(L, name);
}

void WriteGlobalFlag(lua_State* L, const char* name, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  lua_setglobal(L, name);
}

void WriteGlobalNumber(lua_State* L, const char* name, double value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}

}  // namespace brix
