// RawBuffer: a zero-filled byte block with typed accessors at byte offsets.
//
// The accessors work on any of our three buffer types (the receiver is
// checked by metatable) and only inside the receiver's block: a read whose
// width does not fit gives nil, a write that does not fit changes nothing,
// a text read stops at the block's end when no terminator comes first.
#include <cstdint>
#include <cmath>
#include <cstring>

#include "lauxlib.h"
#include "objecttypes.h"
#include "scriptobjects.h"
#include "textvalue.h"

namespace brix {
namespace objects {
namespace {

// Operands are read relative to the top; a short stack reads the missing
// operands as nil (offset 0, value 0).
void EnsureOperands(lua_State* L, int count) {
  if (lua_gettop(L) < count) lua_settop(L, count);
}

struct Span {
  unsigned char* at = nullptr;  // null when the access does not fit
  size_t left = 0;              // bytes from at to the end of the block
};

// [offset, offset + width) inside the receiver's block.
Span SpanOf(lua_State* L, int receiver, int offsetIdx, size_t width) {
  Span s;
  if (!IsBufferKind(KindOf(L, receiver))) return s;
  Block b = BlockOf(L, receiver);
  long long offset = static_cast<long long>(lua_tointegerx(L, offsetIdx, nullptr));
  if (offset < 0 || static_cast<unsigned long long>(offset) > b.size) return s;
  size_t left = b.size - static_cast<size_t>(offset);
  if (width > left) return s;
  s.at = b.data + offset;
  s.left = left;
  return s;
}

int PushNil(lua_State* L) {
  lua_pushnil(L);
  return 1;
}

template <class T>
int GetInt(lua_State* L) {
  EnsureOperands(L, 2);
  unsigned char* at = SpanOf(L, -2, -1, sizeof(T)).at;
  if (!at) return PushNil(L);
  T v;
  std::memcpy(&v, at, sizeof(T));
  lua_pushnumber(L, static_cast<lua_Number>(v));
  return 1;
}

// Signed forms take lua_tointegerx, unsigned forms lua_tounsignedx; the low
// bytes are stored (little-endian).
template <class T, bool kUnsigned>
int SetInt(lua_State* L) {
  EnsureOperands(L, 3);
  unsigned char* at = SpanOf(L, -3, -2, sizeof(T)).at;
  if (!at) return 0;
  uint64_t v = kUnsigned ? static_cast<uint64_t>(lua_tounsignedx(L, -1, nullptr))
                         : static_cast<uint64_t>(static_cast<int64_t>(lua_tointegerx(L, -1, nullptr)));
  T low = static_cast<T>(v);
  std::memcpy(at, &low, sizeof(T));
  return 0;
}

int GetWString(lua_State* L) {
  EnsureOperands(L, 2);
  Span s = SpanOf(L, -2, -1, sizeof(wchar_t));
  if (!s.at) return PushNil(L);
  size_t units = BoundedLengthW(s.at, s.left / sizeof(wchar_t));
  std::wstring text(units, L'\0');
  if (units) std::memcpy(&text[0], s.at, units * sizeof(wchar_t));
  PushWide(L, text);
  return 1;
}

int GetAString(lua_State* L) {
  EnsureOperands(L, 2);
  Span s = SpanOf(L, -2, -1, 1);
  if (!s.at) return PushNil(L);
  PushAnsi(L, std::string(reinterpret_cast<const char*>(s.at), BoundedLength(s.at, s.left)));
  return 1;
}

int GetBoolean(lua_State* L) {
  EnsureOperands(L, 2);
  unsigned char* at = SpanOf(L, -2, -1, 4).at;
  if (!at) return PushNil(L);
  uint32_t v;
  std::memcpy(&v, at, 4);
  lua_pushboolean(L, v != 0);
  return 1;
}

// Addresses inside the block only (base .. base + size - 1).
int GetPointer(lua_State* L) {
  EnsureOperands(L, 2);
  unsigned char* at = SpanOf(L, -2, -1, 1).at;
  if (!at) return PushNil(L);
  lua_pushlightuserdata(L, at);
  return 1;
}

// Copies a whole AString or WString block. Any other value (a plain string,
// a table, a RawBuffer) copies nothing: it has no text block of ours.
int SetText(lua_State* L) {
  EnsureOperands(L, 3);
  Kind kind = KindOf(L, -1);
  if (kind != Kind::kAString && kind != Kind::kWString) return 0;
  Block src = BlockOf(L, -1);
  unsigned char* at = SpanOf(L, -3, -2, src.size).at;
  if (!at) return 0;
  std::memmove(at, src.data, src.size);  // the source may be the receiver
  return 0;
}

int SetBoolean(lua_State* L) {
  EnsureOperands(L, 3);
  unsigned char* at = SpanOf(L, -3, -2, 4).at;
  if (!at) return 0;
  uint32_t v = lua_toboolean(L, -1) ? 1 : 0;
  std::memcpy(at, &v, 4);
  return 0;
}

// A pointer field is as wide as the target's pointers (8 bytes on x86_64).
int SetPointer(lua_State* L) {
  EnsureOperands(L, 3);
  unsigned char* at = SpanOf(L, -3, -2, sizeof(void*)).at;
  if (!at) return 0;
  void* p = lua_touserdata(L, -1);
  std::memcpy(at, &p, sizeof(void*));
  return 0;
}

int New(lua_State* L) {
  // A size that is no whole number of bytes between 1 and the limit is a
  // script's mistake: nil, never a wrapped or gigantic block.
  int isNumber = 0;
  const lua_Number requested = lua_tonumberx(L, 1, &isNumber);
  if (!isNumber || !(requested >= 1) || requested > kMaxRawBufferBytes || requested != std::floor(requested)) {
    lua_pushnil(L);
    return 1;
  }
  const auto size = static_cast<size_t>(requested);
  void* block = lua_newuserdata(L, size);
  std::memset(block, 0, size);
  luaL_setmetatable(L, kRawBufferMeta);
  return 1;
}

}  // namespace
}  // namespace objects

int OpenRawBuffer(lua_State* L) {
  using namespace objects;
  static const luaL_Reg kModule[] = {{"New", New}, {nullptr, nullptr}};
  static const luaL_Reg kMethods[] = {
      {"OffsetGetAsInt32", GetInt<int32_t>},
      {"OffsetGetAsUInt32", GetInt<uint32_t>},
      {"OffsetGetAsInt16", GetInt<int16_t>},
      {"OffsetGetAsUInt16", GetInt<uint16_t>},
      {"OffsetGetAsInt8", GetInt<int8_t>},
      {"OffsetGetAsUInt8", GetInt<uint8_t>},
      {"OffsetGetAsWString", GetWString},
      {"OffsetGetAsAString", GetAString},
      {"OffsetGetAsBoolean", GetBoolean},
      {"OffsetGetAsPointer", GetPointer},
      {"OffsetSetAsInt32", SetInt<uint32_t, false>},
      {"OffsetSetAsUInt32", SetInt<uint32_t, true>},
      {"OffsetSetAsInt16", SetInt<uint16_t, false>},
      {"OffsetSetAsUInt16", SetInt<uint16_t, true>},
      {"OffsetSetAsInt8", SetInt<uint8_t, false>},
      {"OffsetSetAsUInt8", SetInt<uint8_t, true>},
      {"OffsetSetAsWString", SetText},
      {"OffsetSetAsAString", SetText},
      {"OffsetSetAsBoolean", SetBoolean},
      {"OffsetSetAsPointer", SetPointer},
      {nullptr, nullptr},
  };
  return OpenModule(L, kModule, kRawBufferMeta, kMethods);
}

}  // namespace brix
