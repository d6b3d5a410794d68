#pragma once
// Reading and writing script globals in the forms the host uses: text
// (UTF-8 in the script, UTF-16 here), integer, flag and number. A global
// that is not set reads as "", 0 or false; no read raises a script error.
#include <string>

#include "lua.h"

namespace brix {

std::wstring ReadGlobalText(lua_State* L, const char* name);
int ReadGlobalInteger(lua_State* L, const char* name);
bool ReadGlobalFlag(lua_State* L, const char* name);
void WriteGlobalText(lua_State* L, const char* name, const std::wstring& value);
void WriteGlobalFlag(lua_State* L, const char* name, bool value);
void WriteGlobalNumber(lua_State* L, const char* name, double value);

}  // namespace brix
