#pragma once
// Host functions by family; each family lives in its own file.
#include "lua.h"

namespace brix {

// environment (envfunctions.cpp)
int Lua_RegVarByCSIDL(lua_State* L);
int Lua_GetOSVersion(lua_State* L);
int Lua_Logout(lua_State* L);
int Lua_MsgBox(lua_State* L);
int Lua_IsWow64(lua_State* L);
int Lua_GetModuleFileName(lua_State* L);
int Lua_GetCommandLineArgv(lua_State* L);
int Lua_GetTempFileName(lua_State* L);
int Lua_GetTempPath(lua_State* L);
int Lua_ExpandEnv(lua_State* L);

}  // namespace brix
