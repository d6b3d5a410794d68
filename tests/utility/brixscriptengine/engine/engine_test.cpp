#include "brixscriptengine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "chunklayout.h"
#include "hostfunctions.h"
#include "lauxlib.h"
#include "scriptcallback.h"
#include "scriptglobals.h"

using brix::BrixScriptEngine;

namespace {

lua_State* State() { return BrixScriptEngine::Instance().GetState(); }

bool RunChunk(const std::string& code) {
  return BrixScriptEngine::Instance().DoBufferLua(code.data(), code.size(), "test");
}

int Writer(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

// A precompiled chunk in this build's own layout.
std::string Dump(const std::string& code) {
  lua_State* L = luaL_newstate();
  std::string out;
  EXPECT_EQ(luaL_loadbuffer(L, code.data(), code.size(), "dumped"), LUA_OK);
  lua_dump(L, Writer, &out);
  lua_close(L);
  return out;
}

}  // namespace

TEST(ChunkLoading, TextChunkRunsAndLeavesStackAsBefore) {
  int top = lua_gettop(State());
  ASSERT_TRUE(RunChunk("engine_text_chunk = 'yes'"));
  EXPECT_EQ(lua_gettop(State()), top);
  EXPECT_EQ(brix::ReadGlobalText(State(), "engine_text_chunk"), L"yes");
}

TEST(ChunkLoading, SyntaxErrorFailsWithStackUnchanged) {
  int top = lua_gettop(State());
  EXPECT_FALSE(RunChunk("function ("));
  EXPECT_EQ(lua_gettop(State()), top);
  // The engine still works afterwards.
  EXPECT_TRUE(RunChunk("engine_after_error = 1"));
}

TEST(ChunkLoading, PrecompiledChunksOfBothLayouts) {
  std::string native = Dump("engine_layout_native = 7");
  ASSERT_TRUE(BrixScriptEngine::Instance().DoBufferLua(native.data(), native.size(), "n"));
  EXPECT_EQ(brix::ReadGlobalInteger(State(), "engine_layout_native"), 7);

  // The other word size's layout (8-byte size_t on i686, 4 on x86_64).
  const int other = sizeof(size_t) == 8 ? 4 : 8;
  std::string converted, error;
  std::string src = Dump("engine_layout_other = 'other'");
  ASSERT_TRUE(brix::ConvertChunkLayout(src.data(), src.size(), other, true, converted, error)) << error;
  ASSERT_EQ(brix::ChunkSizeTWidth(converted.data(), converted.size()), other);
  ASSERT_TRUE(BrixScriptEngine::Instance().DoBufferLua(converted.data(), converted.size(), "other"));
  EXPECT_EQ(brix::ReadGlobalText(State(), "engine_layout_other"), L"other");
}

// Only a chunk of the other layout goes through the converter, whose
// validation refuses bytes after the main function; Lua's own loader stops
// there. So a 32-bit chunk with a tail runs on i686 (handed over as it is)
// and is refused on x86_64 (converted first).
TEST(ChunkLoading, ThirtyTwoBitChunksAreLoadedAsTheyAreOnlyOnI686) {
  std::string narrow, error;
  std::string src = Dump("engine_layout_as_is = 5");
  ASSERT_TRUE(brix::ConvertChunkLayout(src.data(), src.size(), 4, false, narrow, error)) << error;
  narrow += "tail";
  const bool ran = BrixScriptEngine::Instance().DoBufferLua(narrow.data(), narrow.size(), "as_is");
  if (sizeof(size_t) == 4) {
    EXPECT_TRUE(ran);
    EXPECT_EQ(brix::ReadGlobalInteger(State(), "engine_layout_as_is"), 5);
  } else {
    EXPECT_FALSE(ran);
  }
}

TEST(ChunkLoading, TruncatedOrDamagedPrecompiledChunksFailCleanly) {
  std::string narrow, error;
  std::string src = Dump("local t = {} for i = 1, 10 do t[i] = 'v' .. i end engine_truncated = t");
  ASSERT_TRUE(brix::ConvertChunkLayout(src.data(), src.size(), 4, true, narrow, error));
  int top = lua_gettop(State());
  for (size_t n = 1; n < narrow.size(); n += 3)
    EXPECT_FALSE(BrixScriptEngine::Instance().DoBufferLua(narrow.data(), n, "cut")) << n;
  std::string badVersion = narrow;
  badVersion[4] = 0x51;
  EXPECT_FALSE(BrixScriptEngine::Instance().DoBufferLua(badVersion.data(), badVersion.size(), "v"));
  EXPECT_EQ(lua_gettop(State()), top);
}

TEST(ChunkLoading, ResourceChunks) {
  auto& engine = BrixScriptEngine::Instance();
  int top = lua_gettop(State());
  EXPECT_TRUE(engine.DoResLua(L"LUA", L"GOODCHUNK.LUAC"));
  EXPECT_EQ(brix::ReadGlobalInteger(State(), "engine_resource_chunk"), 42);
  EXPECT_FALSE(engine.DoResLua(L"LUA", L"BADCHUNK.LUAC"));
  EXPECT_FALSE(engine.DoResLua(L"LUA", L"MISSING.LUAC"));
  EXPECT_FALSE(engine.DoResLua(L"NOTYPE", L"GOODCHUNK.LUAC"));
  EXPECT_EQ(lua_gettop(State()), top);
  EXPECT_TRUE(engine.DoResLua(L"LUA", L"GOODCHUNK.LUAC"));
}

TEST(Hooks, OnlyFunctionsAreCalledAndStackStaysBalanced) {
  auto& engine = BrixScriptEngine::Instance();
  ASSERT_TRUE(RunChunk("hook_calls = 0 function Hook_Fn() hook_calls = hook_calls + 1 end "
                  "Hook_Table = {} Hook_String = 'BrixSE_X'"));
  int top = lua_gettop(State());
  engine.CallHook("Hook_Fn");
  engine.CallHook("Hook_Table");
  engine.CallHook("Hook_String");
  engine.CallHook("Hook_Missing");
  engine.CallHook("Hook_Fn");
  EXPECT_EQ(lua_gettop(State()), top);
  EXPECT_EQ(brix::ReadGlobalInteger(State(), "hook_calls"), 2);
}

TEST(Globals, ReadFormsAreLenient) {
  lua_State* L = State();
  ASSERT_TRUE(RunChunk("g_num_text = '145' g_bad_text = 'abc' g_half = 2.5 g_half2 = 3.5 g_neg = -2.5 "
                  "g_big = 4294967295 g_false = false g_zero = 0 g_empty = '' g_num = 12.5 g_tbl = {}"));
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_num_text"), 145);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_bad_text"), 0);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_half"), 2);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_half2"), 4);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_neg"), -2);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_big"), -1);
  EXPECT_EQ(brix::ReadGlobalInteger(L, "g_unset"), 0);
  EXPECT_FALSE(brix::ReadGlobalFlag(L, "g_false"));
  EXPECT_FALSE(brix::ReadGlobalFlag(L, "g_unset"));
  EXPECT_TRUE(brix::ReadGlobalFlag(L, "g_zero"));
  EXPECT_TRUE(brix::ReadGlobalFlag(L, "g_empty"));
  EXPECT_EQ(brix::ReadGlobalText(L, "g_num"), L"12.5");
  EXPECT_EQ(brix::ReadGlobalText(L, "g_tbl"), L"");
  EXPECT_EQ(brix::ReadGlobalText(L, "g_unset"), L"");
}

TEST(Globals, WritesRoundTripUnicode) {
  lua_State* L = State();
  brix::WriteGlobalText(L, "g_written", L"D:\\应用\\Quillon");
  brix::WriteGlobalFlag(L, "g_flag", true);
  brix::WriteGlobalNumber(L, "g_number", 12.75);
  ASSERT_TRUE(RunChunk("g_check = (g_written == 'D:\\\\应用\\\\Quillon') and g_flag == true and g_number == 12.75"));
  EXPECT_TRUE(brix::ReadGlobalFlag(L, "g_check"));
}

TEST(Callbacks, OnlyFunctionsTakeAReferenceAndItIsReleased) {
  lua_State* L = State();
  int top = lua_gettop(L);
  lua_pushstring(L, "not a function");
  {
    brix::ScriptCallback cb(L);
    EXPECT_TRUE(cb.Empty());
    EXPECT_EQ(lua_gettop(L), top + 1);  // the string stays
  }
  lua_pop(L, 1);

  ASSERT_TRUE(RunChunk("function cb_sum(text, n) cb_seen = text return n + 1 end "
                  "function cb_note(text) cb_note_seen = text return 'ignored' end"));
  int ref;
  {
    lua_getglobal(L, "cb_sum");
    brix::ScriptCallback cb(L);
    ASSERT_FALSE(cb.Empty());
    EXPECT_EQ(lua_gettop(L), top);
    ref = cb.Ref();
    EXPECT_EQ(cb.Call(L"文件.txt", 4294967295u), 0);  // unsigned 4294967295 + 1, rounded into 32 bits
    EXPECT_EQ(cb.Call(L"a", 41u), 42);
    EXPECT_EQ(cb.Call(nullptr, 1u), 2);
    EXPECT_EQ(lua_gettop(L), top);
  }
  lua_rawgeti(L, LUA_REGISTRYINDEX, ref);
  EXPECT_FALSE(lua_isfunction(L, -1));  // released
  lua_pop(L, 1);
  EXPECT_EQ(brix::ReadGlobalText(L, "cb_seen"), L"");

  lua_getglobal(L, "cb_note");
  brix::ScriptCallback note(L);
  note.Call(L"注意");
  EXPECT_EQ(lua_gettop(L), top);
  EXPECT_EQ(brix::ReadGlobalText(L, "cb_note_seen"), L"注意");
}

TEST(Catalogue, RegisteredInOrderAsPlainFunctions) {
  int count = 0;
  const char* const* names = brix::HostFunctionNames(&count);
  ASSERT_EQ(count, 42);
  EXPECT_STREQ(names[0], "Lua_UnCompress7z");
  EXPECT_STREQ(names[22], "Lua_Logout");
  EXPECT_STREQ(names[41], "Lua_ShellExec");
  lua_State* L = State();
  for (int i = 0; i < count; ++i) {
    lua_getglobal(L, names[i]);
    EXPECT_TRUE(lua_iscfunction(L, -1)) << names[i];
    lua_pop(L, 1);
  }
  lua_getglobal(L, "Lua_HttpPost");
  EXPECT_TRUE(lua_isnil(L, -1));
  lua_pop(L, 1);
}
