// WString: a UTF-16 text buffer.
#include "scriptobjects.h"
#include "textbuffer.h"

namespace brix {
namespace objects {
namespace {

struct WStringTraits {
  using Unit = wchar_t;
  static constexpr const char* kMeta = kWStringMeta;
  static constexpr Kind kKind = Kind::kWString;

  static std::wstring FromValue(lua_State* L, int idx) { return ValueToWString(L, idx); }
  static std::wstring FromUtf8(const char* s) { return s ? ToWide(s, CP_UTF8) : std::wstring(); }
  static std::wstring Text(lua_State* L, int idx) { return WStringText(L, idx); }
  static void PushText(lua_State* L, const std::wstring& t) { PushWide(L, t); }
  static void PushUnit(lua_State* L, wchar_t u) { PushWide(L, u ? std::wstring(1, u) : std::wstring()); }
  static int Compare(const std::wstring& a, const std::wstring& b) { return lstrcmpW(a.c_str(), b.c_str()); }
};

}  // namespace
}  // namespace objects

int OpenWString(lua_State* L) { return objects::TextBuffer<objects::WStringTraits>::Open(L); }

}  // namespace brix
