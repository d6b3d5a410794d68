#include "textvalue.h"

#include <climits>
#include <cstring>

#include "objecttypes.h"

namespace brix::objects {
namespace {

// The converters take int counts; a block past that is cut, never overrun.
int ClampCount(size_t count) { return count > INT_MAX / 2 ? INT_MAX / 2 : static_cast<int>(count); }

std::wstring WideUnits(const unsigned char* bytes, size_t units) {
  std::wstring out(units, L'\0');
  if (units) std::memcpy(&out[0], bytes, units * sizeof(wchar_t));
  return out;
}

}  // namespace

std::wstring MultiToWide(UINT codePage, const char* text, size_t count) {
  int n = ClampCount(count);
  if (!text || n == 0) return {};
  int units = MultiByteToWideChar(codePage, 0, text, n, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, text, n, &out[0], units);
  return out;
}

std::string WideToMulti(UINT codePage, const wchar_t* text, size_t count) {
  int n = ClampCount(count);
  if (!text || n == 0) return {};
  int bytes = WideCharToMultiByte(codePage, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text, n, &out[0], bytes, nullptr, nullptr);
  return out;
}

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
      return MultiToWide(CP_UTF8, s, std::strlen(s));
    }
    case LUA_TUSERDATA:
      switch (KindOf(L, idx)) {
        case Kind::kAString: {
          std::string a = AStringText(L, idx);
          return MultiToWide(CP_THREAD_ACP, a.data(), a.size());
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
  return WideToMulti(CP_THREAD_ACP, w.data(), w.size());
}

void PushWide(lua_State* L, const std::wstring& text) {
  std::string u = WideToMulti(CP_UTF8, text.data(), text.size());
  lua_pushlstring(L, u.data(), u.size());
}

void PushAnsi(lua_State* L, const std::string& text) {
  PushWide(L, MultiToWide(CP_THREAD_ACP, text.data(), text.size()));
}

}  // namespace brix::objects
