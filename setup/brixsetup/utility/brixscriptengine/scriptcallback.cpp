#include "scriptcallback.h"

#include "brixscriptengine.h"
#include "lauxlib.h"
#include "strconv.h"
#include "trace.h"

namespace brix {

ScriptCallback::ScriptCallback(lua_State* L) : ref_(LUA_NOREF), L_(L) {
  if (lua_type(L, -1) == LUA_TFUNCTION) ref_ = luaL_ref(L, LUA_REGISTRYINDEX);
}

void ScriptCallback::Release() {
  if (ref_ >= 0) luaL_unref(L_, LUA_REGISTRYINDEX, ref_);
  ref_ = LUA_NOREF;
}

bool ScriptCallback::Invoke(const wchar_t* text, const unsigned* number, int* result) {
  int top = lua_gettop(L_);
  lua_rawgeti(L_, LUA_REGISTRYINDEX, ref_);
  lua_pushstring(L_, text ? WideToUtf8(text).c_str() : "");
  if (number) lua_pushunsigned(L_, *number);
  int status = BrixScriptEngine::ProtectedCall(L_, number ? 2 : 1, 1);
  if (status != LUA_OK) {
    const char* msg = lua_tolstring(L_, -1, nullptr);
    Trace(L"%s\r\n", ToWide(msg).c_str());
    lua_settop(L_, top);
    return false;
  }
  if (result) *result = static_cast<int>(lua_tointegerx(L_, -1, nullptr));
  lua_settop(L_, top);
  return true;
}

int ScriptCallback::Call(const wchar_t* text, unsigned number) {
  if (Empty()) return 0;
  int result = 0;
  return Invoke(text, &number, &result) ? result : 2;
}

void ScriptCallback::Call(const wchar_t* text) {
  if (!Empty()) Invoke(text, nullptr, nullptr);
}

}  // namespace brix
