#pragma once
// Lenient argument reading shared by the host functions: a missing or
// unconvertible argument reads as "", 0 or false, never as an error.
#include <windows.h>

#include <string>

#include "lua.h"
#include "strconv.h"

namespace brix {

inline std::wstring ArgText(lua_State* L, int index) { return ToWide(lua_tolstring(L, index, nullptr)); }
inline int ArgInt(lua_State* L, int index) { return static_cast<int>(lua_tointegerx(L, index, nullptr)); }
inline unsigned ArgUnsigned(lua_State* L, int index) {
  return static_cast<unsigned>(lua_tounsignedx(L, index, nullptr));
}
inline bool ArgFlag(lua_State* L, int index) { return lua_toboolean(L, index) != 0; }
// Path expansion of an argument into 260 units. False (with a trace naming
// the function) when it does not fit; a partial expansion is never used.
bool ExpandArgPath(lua_State* L, int index, const wchar_t* function, std::wstring& out);
// The same for an argument that must name an existing file or folder: false
// after the "it's not exists" trace when it does not.
bool ExistingArgPath(lua_State* L, int index, const wchar_t* function, std::wstring& out);
// "Fun:%s, Description:%s it's not exists!\r\n"
void TraceMissing(const wchar_t* function, const std::wstring& path);

inline void PushText(lua_State* L, const wchar_t* text) { lua_pushstring(L, WideToUtf8(text ? text : L"").c_str()); }
// Pushes the one boolean result; returns the result count.
inline int PushBool(lua_State* L, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  return 1;
}

}  // namespace brix
