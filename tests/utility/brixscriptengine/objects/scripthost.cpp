#include "scripthost.h"

#include <cmath>
#include <cstdio>

#include "lauxlib.h"
#include "lualib.h"
#include "scriptobjects.h"

namespace {

std::string Describe(lua_State* L, int idx) {
  switch (lua_type(L, idx)) {
    case LUA_TNIL:
      return "nil";
    case LUA_TBOOLEAN:
      return lua_toboolean(L, idx) ? "true" : "false";
    case LUA_TNUMBER: {
      char buf[64];
      double n = lua_tonumber(L, idx);
      std::snprintf(buf, sizeof buf, std::floor(n) == n ? "%.0f" : "%.17g", n);
      return buf;
    }
    case LUA_TSTRING:
      return "'" + std::string(lua_tostring(L, idx)) + "'";
    case LUA_TLIGHTUSERDATA:
      return "light";
    case LUA_TUSERDATA: {
      for (const char* name : {"AStringMetaTable", "WStringMetaTable", "RawBufferMetaTable", "DllManagerMetaTable"}) {
        if (lua_getmetatable(L, idx)) {
          luaL_getmetatable(L, name);
          bool same = lua_rawequal(L, -1, -2);
          lua_pop(L, 2);
          if (same) return std::string(name, std::string(name).find("MetaTable"));
        }
      }
      return "userdata";
    }
    default:
      return luaL_typename(L, idx);
  }
}

}  // namespace

void ScriptHostTest::SetUp() {
  L = luaL_newstate();
  ASSERT_NE(L, nullptr);
  luaL_openlibs(L);
  const struct {
    const char* name;
    lua_CFunction open;
  } kOpens[] = {{"AString", brix::OpenAString},
                {"WString", brix::OpenWString},
                {"RawBuffer", brix::OpenRawBuffer},
                {"DllManager", brix::OpenDllManager}};
  for (const auto& o : kOpens) {
    luaL_requiref(L, o.name, o.open, 1);
    lua_pop(L, 1);
  }
  brix::CreateGLibTab(L);
  ASSERT_EQ(lua_gettop(L), 0);
  SetGlobal("PTRSIZE", static_cast<double>(sizeof(void*)));
}

void ScriptHostTest::TearDown() {
  if (L) lua_close(L);
}

Results ScriptHostTest::Run(const std::string& code) {
  lua_settop(L, 0);
  if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, LUA_MULTRET, 0) != LUA_OK) {
    std::string msg = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(no message)";
    ADD_FAILURE() << "Lua error: " << msg;
    lua_settop(L, 0);
    return {"error: " + msg};
  }
  Results out;
  for (int i = 1; i <= lua_gettop(L); ++i) out.push_back(Describe(L, i));
  lua_settop(L, 0);
  return out;
}

std::string ScriptHostTest::RunError(const std::string& code) {
  lua_settop(L, 0);
  std::string msg;
  if (luaL_loadstring(L, code.c_str()) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK)
    msg = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(no message)";
  else
    ADD_FAILURE() << "snippet ran without error";
  lua_settop(L, 0);
  return msg;
}

size_t ScriptHostTest::BlockSize(const char* global) {
  lua_getglobal(L, global);
  EXPECT_EQ(lua_type(L, -1), LUA_TUSERDATA) << global;
  size_t n = lua_rawlen(L, -1);
  lua_pop(L, 1);
  return n;
}

void ScriptHostTest::SetGlobal(const char* name, const std::string& value) {
  lua_pushlstring(L, value.data(), value.size());
  lua_setglobal(L, name);
}

void ScriptHostTest::SetGlobal(const char* name, double value) {
  lua_pushnumber(L, value);
  lua_setglobal(L, name);
}
