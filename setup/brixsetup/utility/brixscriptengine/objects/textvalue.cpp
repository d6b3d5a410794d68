#include "textvalue.h"

#include <cstring>

#include "objecttypes.h"

namespace brix::objects {
namespace {

std::wstring WideUnits(const unsigned char* bytes, size_t units) {
  std::wstring out(units, L'\0');
  if (units) std::memcpy(&out[0], bytes, units * sizeof(wchar_t));
  return out;
}

}  // namespace

size_t BoundedLength(const unsigned char* bytes, size_t maxUnits) {
  if (!bytes) return 0;
  const void* nul = std::memchr(bytes, 0, maxUnits);
  return nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - bytes) : maxUnits;
}

size_t BoundedLengthW(const unsigned char* bytes, size_t maxUnits) {
  if (!bytes) return 0;
  size_t i = 0;
  while (i < maxUnits && (bytes[2 * i] | bytes[2 * i + 1]) != 0) ++i;
  return i;
}

std::string AStringText(lua_State* L, int idx) {
  Block b = BlockOf(L, idx);
  return std::string(reinterpret_cast<const char*>(b.data), BoundedLength(b.data, b.size));
}

std::wstring WStringText(lua_State* L, int idx) {
  Block b = BlockOf(L, idx);
  return WideUnits(b.data, BoundedLengthW(b.data, b.size / 2));
}

std::wstring ValueToWString(lua_State* L, int idx) {
  switch (lua_type(L, idx)) {
    case LUA_TSTRING:
    case LUA_TNUMBER: {
      const char* s = lua_tolstring(L, idx, nullptr);
      return ToWide(s, CP_UTF8);
    }
    case LUA_TUSERDATA:
      switch (KindOf(L, idx)) {
        case Kind::kAString: {
          std::string a = AStringText(L, idx);
          return ToWideN(a.data(), a.size(), CP_THREAD_ACP);
        }
        case Kind::kWString:
          return WStringText(L, idx);
        default:
          return {};
      }
    default:
      return {};
  }
}

std::string ValueToAString(lua_State* L, int idx) {
  if (IsKind(L, idx, Kind::kAString)) return AStringText(L, idx);
  std::wstring w = ValueToWString(L, idx);
  return ToNarrowN(w.data(), w.size(), CP_THREAD_ACP);
}

void PushWide(lua_State* L, const std::wstring& text) {
  std::string u = ToNarrowN(text.data(), text.size(), CP_UTF8);
  lua_pushlstring(L, u.data(), u.size());
}

void PushAnsi(lua_State* L, const std::string& text) {
  PushWide(L, ToWideN(text.data(), text.size(), CP_THREAD_ACP));
}

}  // namespace brix::objects
