#pragma once
// Recognising our userdata types and viewing their memory blocks. Every
// access to a block goes through the size Lua reports for it, so no script
// value can make us read or write outside an object.
#include <windows.h>

#include <cstddef>

#include "lua.h"

struct luaL_Reg;

namespace brix::objects {

inline constexpr char kAStringMeta[] = "AStringMetaTable";
inline constexpr char kWStringMeta[] = "WStringMetaTable";
inline constexpr char kRawBufferMeta[] = "RawBufferMetaTable";
// Largest block RawBuffer.New makes: far above any structure a script
// marshals, far below what would starve a 32-bit installer.
inline constexpr lua_Number kMaxRawBufferBytes = 64.0 * 1024 * 1024;
inline constexpr char kDllManagerMeta[] = "DllManagerMetaTable";
inline constexpr char kGLibTabMeta[] = "GlobalLibTableMetaTable";

enum class Kind { kOther, kAString, kWString, kRawBuffer, kDllManager };

// The kind of the value at idx: one of ours only for a full userdata whose
// metatable is the registered one (a light userdata never qualifies, even
// when a script gave light userdata a metatable through the debug library).
Kind KindOf(lua_State* L, int idx);
bool IsKind(lua_State* L, int idx, Kind kind);
// AString, WString or RawBuffer: the types whose blocks accessors may touch.
bool IsBufferKind(Kind kind);

struct Block {
  unsigned char* data = nullptr;
  size_t size = 0;  // bytes
};
// The block of the full userdata at idx (empty for anything else).
Block BlockOf(lua_State* L, int idx);

// DllManager objects: the block holds the module handle.
void PushDllManager(lua_State* L, HMODULE module);
// The handle of a DllManager at idx; false when the value is not one.
bool ToDllManager(lua_State* L, int idx, HMODULE* module);

// Opens a script type: a module table of `module` functions, and the
// registry metatable `meta` whose __index is itself before `methods` (which
// may replace it) are set on it. Returns 1, the module table on the stack.
int OpenModule(lua_State* L, const luaL_Reg* module, const char* meta, const luaL_Reg* methods);

}  // namespace brix::objects
