// DllManager: a loaded native library, and Get, which turns its exports into
// script functions.
#include <windows.h>

#include "lauxlib.h"
#include "nativethunk.h"
#include "objecttypes.h"
#include "scriptobjects.h"
#include "strconv.h"
#include "trace.h"

namespace brix {
namespace objects {
namespace {

// Load(path): the path is the value on top of the stack.
int Load(lua_State* L) {
  const char* path = lua_gettop(L) ? lua_tolstring(L, -1, nullptr) : nullptr;
  std::wstring wide = ToWide(path, CP_UTF8);
  HMODULE module = LoadLibraryW(wide.c_str());
  DWORD error = GetLastError();
  if (!module) {
    lua_pushnil(L);
    lua_pushunsigned(L, error);
    return 2;
  }
  PushDllManager(L, module);
  return 1;
}

// The object keeps its old handle afterwards; it must not be used again.
int UnLoad(lua_State* L) {
  HMODULE module = nullptr;
  if (lua_gettop(L) && ToDllManager(L, -1, &module)) FreeLibrary(module);
  lua_pushnil(L);
  return 1;
}

// Get(name [, tag [, callerCleans]]): arguments past the fourth are ignored.
int Get(lua_State* L) {
  int top = lua_gettop(L);
  HMODULE module = nullptr;
  if (!ToDllManager(L, 1, &module)) {
    Trace(L"if (nullptr == phMod)");
    lua_pushnil(L);
    lua_pushstring(L, "hModule is nil");
    return 2;
  }
  FARPROC fn = GetProcAddress(module, lua_tolstring(L, 2, nullptr));
  DWORD error = GetLastError();  // before the debugger output can change it
  if (!fn) {
    OutputDebugStringW(L"if (nullptr == pfn)");
    lua_pushnil(L);
    lua_pushunsigned(L, error);
    return 2;
  }
  if (top >= 3) lua_pushvalue(L, 3);
  else lua_pushnil(L);
  if (top >= 4) lua_pushvalue(L, 4);
  else lua_pushnil(L);
  lua_pushlightuserdata(L, reinterpret_cast<void*>(fn));
  lua_pushcclosure(L, NativeThunk, 3);
  lua_pushnumber(L, 0);
  return 2;
}

}  // namespace
}  // namespace objects

int OpenDllManager(lua_State* L) {
  using namespace objects;
  static const luaL_Reg kModule[] = {{"Load", Load}, {nullptr, nullptr}};
  static const luaL_Reg kMethods[] = {{"UnLoad", UnLoad}, {"Get", Get}, {nullptr, nullptr}};
  return OpenModule(L, kModule, kDllManagerMeta, kMethods);
}

}  // namespace brix
