#include "nativethunk.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "nativecall.h"
#include "strconv.h"

namespace brix::objects {
namespace {

int RaiseBadArgument(lua_State* L) {
  lua_pushstring(L, "unknow argument type");
  return lua_error(L);
}

// One argument word. Numbers are the 32-bit lua_tointegerx value, widened
// with its sign on x86_64; addresses keep their full width.
uintptr_t WordOf(lua_State* L, int idx) {
  switch (lua_type(L, idx)) {
    case LUA_TNIL:
      return 0;
    case LUA_TBOOLEAN:
      return lua_toboolean(L, idx) ? 1 : 0;
    case LUA_TNUMBER:
      return static_cast<uintptr_t>(
          static_cast<intptr_t>(static_cast<int32_t>(lua_tointegerx(L, idx, nullptr))));
    case LUA_TSTRING:
      return reinterpret_cast<uintptr_t>(lua_tolstring(L, idx, nullptr));
    case LUA_TLIGHTUSERDATA:
    case LUA_TUSERDATA:
      return reinterpret_cast<uintptr_t>(lua_touserdata(L, idx));
    default:
      RaiseBadArgument(L);
      return 0;
  }
}

void PushUtf8(lua_State* L, const std::string& s) { lua_pushlstring(L, s.data(), s.size()); }

// "int", "uint" and "bool" look at the low 32 bits; the texts and "ptr" at
// the whole register.
void PushResult(lua_State* L, uintptr_t result) {
  const char* tag = lua_tolstring(L, lua_upvalueindex(1), nullptr);
  uint32_t low = static_cast<uint32_t>(result);
  if (!tag) {
    lua_pushnil(L);
  } else if (std::strcmp(tag, "int") == 0) {
    lua_pushnumber(L, static_cast<lua_Number>(static_cast<int32_t>(low)));
  } else if (std::strcmp(tag, "uint") == 0) {
    lua_pushnumber(L, static_cast<lua_Number>(low));
  } else if (std::strcmp(tag, "bool") == 0) {
    lua_pushboolean(L, low != 0);
  } else if (std::strcmp(tag, "astr") == 0) {
    const char* text = reinterpret_cast<const char*>(result);
    PushUtf8(L, text ? WideToUtf8(AnsiToWide(text)) : std::string());
  } else if (std::strcmp(tag, "wstr") == 0) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(result);
    PushUtf8(L, text ? ToNarrow(text, CP_UTF8) : std::string());
  } else if (std::strcmp(tag, "ptr") == 0) {
    lua_pushlightuserdata(L, reinterpret_cast<void*>(result));
  } else {
    lua_pushnil(L);
  }
}

}  // namespace

int NativeThunk(lua_State* L) {
  const void* fn = lua_touserdata(L, lua_upvalueindex(3));
  if (!fn) {
    lua_pushnumber(L, 0);
    return 1;
  }
  int n = lua_gettop(L);
  if (static_cast<size_t>(n) > kMaxNativeArgs) return RaiseBadArgument(L);
  // Every argument is converted before the call, so a bad one stops the
  // call from happening at all.
  uintptr_t words[kMaxNativeArgs] = {};
  for (int i = 1; i <= n; ++i) words[i - 1] = WordOf(L, i);
  int callerCleans = lua_toboolean(L, lua_upvalueindex(2));

  uintptr_t result = BrixNativeCall(fn, words, static_cast<size_t>(n), callerCleans);
  DWORD lastError = GetLastError();

  PushResult(L, result);
  lua_pushunsigned(L, lastError);
  return 2;
}

}  // namespace brix::objects
