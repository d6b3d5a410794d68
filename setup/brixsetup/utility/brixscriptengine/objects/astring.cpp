// AString: an 8-bit text buffer in the thread's ANSI code page.
#include "scriptobjects.h"
#include "textbuffer.h"

namespace brix {
namespace objects {
namespace {

struct AStringTraits {
  using Unit = char;
  static constexpr const char* kMeta = kAStringMeta;
  static constexpr Kind kKind = Kind::kAString;

  static std::string FromValue(lua_State* L, int idx) { return ValueToAString(L, idx); }
  static std::string FromUtf8(const char* s) {
    if (!s) return {};
    std::wstring w = ToWide(s, CP_UTF8);
    return ToNarrowN(w.data(), w.size(), CP_THREAD_ACP);
  }
  static std::string Text(lua_State* L, int idx) { return AStringText(L, idx); }
  static void PushText(lua_State* L, const std::string& t) { PushAnsi(L, t); }
  // A byte of 0x80 or more is taken alone through the ANSI code page: a
  // single-byte page gives its character, a lone lead byte whatever the
  // system converter makes of it (possibly the empty string).
  static void PushUnit(lua_State* L, char u) {
    if (static_cast<unsigned char>(u) < 0x80) lua_pushlstring(L, &u, u ? 1 : 0);
    else PushAnsi(L, std::string(1, u));
  }
  static int Compare(const std::string& a, const std::string& b) { return lstrcmpA(a.c_str(), b.c_str()); }
};

}  // namespace
}  // namespace objects

int OpenAString(lua_State* L) { return objects::TextBuffer<objects::AStringTraits>::Open(L); }

}  // namespace brix
