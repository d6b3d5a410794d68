#pragma once
// Script object types (AString, WString, RawBuffer, DllManager) and the
// global library table GLibTab. The open functions follow the luaL_requiref
// conventions: they leave the module table on the stack and return 1.
#include "lua.h"

namespace brix {

int OpenAString(lua_State* L);
int OpenWString(lua_State* L);
int OpenRawBuffer(lua_State* L);
int OpenDllManager(lua_State* L);
// Sets the global GLibTab; leaves the stack as it was.
void CreateGLibTab(lua_State* L);

}  // namespace brix
