#pragma once
// The behaviour AString and WString share, written once over the unit type.
// Traits supply: Unit, kMeta, kKind, FromValue (ValueToAString/-WString),
// FromUtf8, Text (block content), PushText, PushUnit and Compare.
//
// Bounds: a block holds rawlen / sizeof(Unit) units. Reads at or beyond that
// count give nil; the text of a block ends at its first NUL or at its end;
// writes only replace units inside the current text (index 0 included).
#include <cstring>
#include <string>

#include "lauxlib.h"
#include "objecttypes.h"
#include "textvalue.h"

namespace brix::objects {

template <class T>
struct TextBuffer {
  using Unit = typename T::Unit;
  using Text = std::basic_string<Unit>;

  static void PushNew(lua_State* L, const Text& text, size_t units) {
    void* block = lua_newuserdata(L, units * sizeof(Unit));
    std::memset(block, 0, units * sizeof(Unit));
    if (!text.empty()) std::memcpy(block, text.data(), text.size() * sizeof(Unit));
    luaL_setmetatable(L, T::kMeta);
  }

  // New(capacity, text): capacity in units; the block is big enough for the
  // text and its terminator.
  static int New(lua_State* L) {
    lua_Integer capacity = lua_tointegerx(L, 1, nullptr);
    Text text;
    if (lua_gettop(L) <= 1) {
      if (capacity < 1) {
        lua_pushnil(L);
        return 1;
      }
    } else {
      text = T::FromValue(L, 2);
    }
    size_t units = capacity > 0 && static_cast<size_t>(capacity) > text.size() ? static_cast<size_t>(capacity)
                                                                                 : text.size() + 1;
    PushNew(L, text, units);
    return 1;
  }

  // Any key that is not a number reads as index 0.
  static int Index(lua_State* L) {
    bool ours = lua_gettop(L) >= 2 && IsKind(L, -2, T::kKind);
    lua_Integer i = ours ? lua_tointegerx(L, -1, nullptr) : -1;
    Block b = ours ? BlockOf(L, -2) : Block();
    if (i < 0 || static_cast<size_t>(i) >= b.size / sizeof(Unit)) {
      lua_pushnil(L);
      return 1;
    }
    Unit u;
    std::memcpy(&u, b.data + static_cast<size_t>(i) * sizeof(Unit), sizeof(Unit));
    T::PushUnit(L, u);
    return 1;
  }

  static int NewIndex(lua_State* L) {
    if (lua_gettop(L) < 3 || !IsKind(L, -3, T::kKind)) return 0;
    lua_Integer i = lua_tointegerx(L, -2, nullptr);
    Text value = T::FromUtf8(lua_tolstring(L, -1, nullptr));
    Block b = BlockOf(L, -3);
    size_t length = T::Text(L, -3).size();
    if (value.empty() || i < 0 || static_cast<size_t>(i) >= length) return 0;
    std::memcpy(b.data + static_cast<size_t>(i) * sizeof(Unit), value.data(), sizeof(Unit));
    return 0;
  }

  // A receiver that is not ours (a light userdata given our metatable by the
  // debug library, a direct call) has no text: length 0, the empty string.
  static int Len(lua_State* L) {
    bool ours = lua_gettop(L) >= 1 && IsKind(L, -1, T::kKind);
    lua_pushnumber(L, ours ? static_cast<lua_Number>(T::Text(L, -1).size()) : 0);
    return 1;
  }

  static int ToString(lua_State* L) {
    if (lua_gettop(L) >= 1 && IsKind(L, -1, T::kKind)) T::PushText(L, T::Text(L, -1));
    else lua_pushliteral(L, "");
    return 1;
  }

  static int Concat(lua_State* L) {
    if (lua_gettop(L) < 2) return 0;
    Text text = T::FromValue(L, -2) + T::FromValue(L, -1);
    PushNew(L, text, text.size() + 1);
    return 1;
  }

  static int Eq(lua_State* L) {
    bool equal = lua_gettop(L) >= 2 && IsKind(L, -2, T::kKind) && IsKind(L, -1, T::kKind) &&
                 T::Compare(T::Text(L, -2), T::Text(L, -1)) == 0;
    lua_pushboolean(L, equal);
    return 1;
  }

  // Module table with New; metatable with the metamethods.
  static int Open(lua_State* L) {
    static const luaL_Reg kModule[] = {{"New", New}, {nullptr, nullptr}};
    static const luaL_Reg kMethods[] = {{"__index", Index},       {"__newindex", NewIndex}, {"__len", Len},
                                        {"__tostring", ToString}, {"__concat", Concat},     {"__eq", Eq},
                                        {nullptr, nullptr}};
    return OpenModule(L, kModule, T::kMeta, kMethods);
  }
};

}  // namespace brix::objects
