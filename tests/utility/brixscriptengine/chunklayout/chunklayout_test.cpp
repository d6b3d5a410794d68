// The chunk layout converter against the real Lua loader of this build
// (8-byte size_t on x86_64, 4 on i686) and against hand-made 32-bit chunks.
#include "chunklayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"

namespace {

using brix::ChunkSizeTWidth;
using brix::ConvertChunkLayout;
using brix::IsPrecompiledChunk;

// This build's own layout, and the other one.
constexpr int kNative = static_cast<int>(sizeof(size_t));
constexpr int kOther = kNative == 8 ? 4 : 8;

struct LuaState {
  lua_State* L;
  LuaState() : L(luaL_newstate()) { luaL_openlibs(L); }
  ~LuaState() { lua_close(L); }
};

int Collect(lua_State*, const void* p, size_t n, void* ud) {
  static_cast<std::string*>(ud)->append(static_cast<const char*>(p), n);
  return 0;
}

// Compiles source text and dumps it in this build's own layout.
std::string Dump(const std::string& source) {
  LuaState lua;
  EXPECT_EQ(LUA_OK, luaL_loadbuffer(lua.L, source.data(), source.size(), "=test")) << lua_tostring(lua.L, -1);
  std::string chunk;
  lua_dump(lua.L, Collect, &chunk);
  return chunk;
}

std::string Convert(const std::string& chunk, int width, bool strip) {
  std::string out, error;
  EXPECT_TRUE(ConvertChunkLayout(chunk.data(), chunk.size(), width, strip, out, error)) << error;
  return out;
}

// Loads and runs a chunk; its results joined by "|", or "load error: ..."
// when the loader refuses it.
std::string LoadAndRun(const std::string& chunk) {
  LuaState lua;
  if (luaL_loadbuffer(lua.L, chunk.data(), chunk.size(), "=run") != LUA_OK)
    return std::string("load error: ") + lua_tostring(lua.L, -1);
  if (lua_pcall(lua.L, 0, LUA_MULTRET, 0) != LUA_OK) return std::string("run error: ") + lua_tostring(lua.L, -1);
  std::string joined;
  for (int i = 1; i <= lua_gettop(lua.L); ++i) {
    size_t n = 0;
    const char* s = luaL_tolstring(lua.L, i, &n);
    joined.append(i > 1 ? "|" : "").append(s, n);
    lua_pop(lua.L, 1);
  }
  return joined;
}

// Nested closures with upvalues, varargs, and constants of every kind:
// nil (compared against), booleans (stored into a table), numbers, strings
// longer than 255 bytes and with an embedded NUL.
std::string SampleSource() {
  std::string longText;
  for (int i = 0; i < 31; ++i) longText += "abcdefghi" + std::to_string(i % 10);
  return "local args = {...}\n"
         "local long = '" + longText + "'\n"
         "local function counter(start)\n"
         "  local n = start\n"
         "  return function(step) return function() n = n + step; return n end end\n"
         "end\n"
         "local function pack(...) return select('#', ...), ... end\n"
         "local t = {}\n"
         "t.yes = true; t.no = false\n"
         "local c = counter(10)(5); c()\n"
         "local n, a, b, d = pack(nil, 2.5, -1e300)\n"
         "return #long, long:sub(-3), c(), n, a, b, d, t.yes, t.no, args[1] == nil, 'a\\0b'\n";
}

// Writes hand-made chunks field by field.
struct ChunkBytes {
  int width;
  std::string bytes;

  explicit ChunkBytes(int w) : width(w) {
    bytes = std::string("\x1bLua\x52\x00\x01\x04", 8) + char(w) + std::string("\x04\x08\x00\x19\x93\r\n\x1a\n", 9);
  }
  ChunkBytes& Byte(int b) { bytes.push_back(char(b)); return *this; }
  ChunkBytes& Int(int32_t v) { return Raw(uint32_t(v), 4); }
  ChunkBytes& SizeT(uint64_t v) { return Raw(v, width); }
  ChunkBytes& Number(double d) {
    char raw[8];
    std::memcpy(raw, &d, 8);
    bytes.append(raw, 8);
    return *this;
  }
  ChunkBytes& Str(const std::string& s) {
    SizeT(s.size() + 1);
    bytes.append(s).push_back('\0');
    return *this;
  }
  ChunkBytes& FunctionHeader(int maxStack = 2) { return Int(0).Int(0).Byte(0).Byte(1).Byte(maxStack); }
  // Upvalues (_ENV, as the main function has) and no debug information.
  ChunkBytes& EnvAndNoDebug() { return Int(1).Byte(1).Byte(0).SizeT(0).Int(0).Int(0).Int(0); }
  ChunkBytes& Raw(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(i < 8 ? char(v >> (8 * i)) : 0);
    return *this;
  }
};

// return "hi", 42 -- as a 32-bit Lua 5.2 dumps it, stripped.
std::string HandMadeThirtyTwoBitChunk() {
  ChunkBytes c(4);
  c.FunctionHeader()
      .Int(4).Int(0x00000001).Int(0x00004041).Int(0x0180001F).Int(0x0080001F)  // LOADK, LOADK, RETURN 0 3, RETURN 0 1
      .Int(2).Byte(4).Str("hi").Byte(3).Number(42)
      .Int(0)
      .EnvAndNoDebug();
  return c.bytes;
}

void AppendNested(ChunkBytes& c, int levels) {
  c.FunctionHeader().Int(0).Int(0).Int(levels > 1 ? 1 : 0);
  if (levels > 1) AppendNested(c, levels - 1);
  c.EnvAndNoDebug();
}

void ExpectRejected(const std::string& chunk, int width, const std::string& expected) {
  std::string out = "untouched", error;
  EXPECT_FALSE(ConvertChunkLayout(chunk.data(), chunk.size(), width, false, out, error));
  EXPECT_NE(std::string::npos, error.find(expected)) << error;
  EXPECT_EQ("untouched", out);
}

TEST(ChunkRoundTrip, OtherLayoutAndBackRestoresTheBytes) {
  const std::string original = Dump(SampleSource());
  ASSERT_EQ(kNative, ChunkSizeTWidth(original.data(), original.size()));
  const std::string other = Convert(original, kOther, false);
  EXPECT_EQ(kOther, ChunkSizeTWidth(other.data(), other.size()));
  if (kOther == 4) {
    EXPECT_LT(other.size(), original.size());
  } else {
    EXPECT_GT(other.size(), original.size());
  }
  EXPECT_EQ(original, Convert(other, kNative, false));
}

TEST(ChunkRoundTrip, ConvertedChunksRunWithTheSameResults) {
  const std::string original = Dump(SampleSource());
  const std::string expected = LoadAndRun(original);
  using namespace std::string_literals;
  ASSERT_EQ("310|hi0|20|3|nil|2.5|-1e+300|true|false|true|a\0b"s, expected);
  EXPECT_EQ(expected, LoadAndRun(Convert(Convert(original, kOther, false), kNative, false)));
  EXPECT_EQ(expected, LoadAndRun(Convert(Convert(original, kOther, true), kNative, false)));
}

TEST(ChunkRoundTrip, OtherLayoutOnlyLoadsAfterConversion) {
  const std::string other = Convert(Dump("return 7"), kOther, false);
  EXPECT_NE(std::string::npos, LoadAndRun(other).find("load error"))
      << "this build should not read " << kOther << "-byte size_t";
  EXPECT_EQ("7", LoadAndRun(Convert(other, kNative, false)));
}

// The shipped chunks use the 32-bit layout: the i686 build's own loader
// reads them as they are, the x86_64 one only after conversion.
TEST(ChunkRoundTrip, HandMadeThirtyTwoBitChunkRuns) {
  const std::string chunk = HandMadeThirtyTwoBitChunk();
  EXPECT_EQ(4, ChunkSizeTWidth(chunk.data(), chunk.size()));
  if (kNative == 4) {
    EXPECT_EQ("hi|42", LoadAndRun(chunk)) << "i686 loads the 32-bit layout natively";
  } else {
    EXPECT_NE(std::string::npos, LoadAndRun(chunk).find("load error"));
  }
  EXPECT_EQ("hi|42", LoadAndRun(Convert(chunk, kNative, false)));
  EXPECT_EQ(chunk, Convert(chunk, 4, false)) << "same width, nothing to strip: an exact copy";
}

TEST(ChunkStrip, RemovesSourceLinesAndNames) {
  const std::string source =
      "local function boom(t) return t.x end\n"
      "local ok, msg = pcall(boom)\n"
      "return msg, debug.getinfo(boom, 'S').source, debug.getlocal(boom, 1)\n";
  const std::string full = Dump(source);
  EXPECT_EQ("test:1: attempt to index local 't' (a nil value)|=test|t", LoadAndRun(full));

  const std::string stripped = Convert(full, kNative, true);
  EXPECT_LT(stripped.size(), full.size());
  EXPECT_EQ("?:0: attempt to index a nil value|=?|nil", LoadAndRun(stripped));
  EXPECT_EQ(stripped, Convert(stripped, kNative, true)) << "stripping twice changes nothing";
  EXPECT_EQ(Convert(full, 4, true), Convert(stripped, 4, false));
}

TEST(ChunkValidation, EveryTruncationFailsCleanly) {
  const std::string native = Dump(SampleSource());
  for (const std::string& chunk : {native, Convert(native, kOther, false)}) {
    for (size_t n = 0; n < chunk.size(); ++n) {
      // An exact-size copy, so a read past the end is a read past the heap block.
      std::vector<char> prefix(chunk.begin(), chunk.begin() + n);
      std::string out = "untouched", error;
      ASSERT_FALSE(ConvertChunkLayout(prefix.data(), n, 4, false, out, error)) << "length " << n;
      ASSERT_FALSE(error.empty());
      ASSERT_EQ("untouched", out);
    }
  }
}

TEST(ChunkValidation, TamperedHeaderFieldsAreRejected) {
  const std::string good = Dump("return 1");
  struct Tamper {
    size_t offset;
    char value;
    const char* expected;
  } cases[] = {
      {4, 0x51, "version"},  {5, 1, "format"},       {6, 0, "endian"},    {7, 8, "int"},
      {8, 2, "size_t"},      {9, 8, "instruction"},  {10, 4, "numbers"},  {11, 1, "integral"},
      {12, 0x18, "tail"},    {14, '\n', "tail"},     {17, '\r', "tail"},
  };
  for (const Tamper& t : cases) {
    std::string bad = good;
    bad[t.offset] = t.value;
    EXPECT_EQ(0, ChunkSizeTWidth(bad.data(), bad.size())) << t.expected;
    ExpectRejected(bad, 4, t.expected);
  }
}

TEST(ChunkValidation, TrailingBytesAreRejected) {
  ExpectRejected(Dump("return 1") + "x", 8, "trailing garbage");
}

TEST(ChunkValidation, HugeDeclaredSizesAreRejectedBeforeUse) {
  ChunkBytes code(8);
  code.FunctionHeader().Int(0x7FFFFFFF).Int(0);
  ExpectRejected(code.bytes, 8, "instruction count of 2147483647 exceeds");

  ChunkBytes constants(4);
  constants.FunctionHeader().Int(0).Int(0x7FFFFFFF).Byte(0);
  ExpectRejected(constants.bytes, 8, "constant count");

  ChunkBytes protos(8);
  protos.FunctionHeader().Int(0).Int(0).Int(100000000).Raw(0, 200);
  ExpectRejected(protos.bytes, 8, "function count");

  ChunkBytes negative(4);
  negative.FunctionHeader().Int(-1);
  ExpectRejected(negative.bytes, 8, "negative instruction count");

  ChunkBytes longString(8);
  longString.FunctionHeader().Int(0).Int(1).Byte(4).SizeT(uint64_t(1) << 40).Raw(0, 16);
  ExpectRejected(longString.bytes, 8, "exceeds");
  // Converting to 4 bytes, a length over 32 bits cannot even be written.
  ChunkBytes wideString(8);
  wideString.FunctionHeader().Int(0).Int(1).Byte(4).SizeT(uint64_t(1) << 32).Raw(0, 16);
  ExpectRejected(wideString.bytes, 4, "does not fit the 32-bit layout");
}

TEST(ChunkValidation, MalformedConstantsAreRejected) {
  for (int type : {2, 5, 9, 255}) {
    ChunkBytes c(4);
    c.FunctionHeader().Int(0).Int(1).Byte(type).Raw(0, 32);
    ExpectRejected(c.bytes, 8, "unknown constant type " + std::to_string(type));
  }
  ChunkBytes boolean(4);
  boolean.FunctionHeader().Int(0).Int(1).Byte(1).Byte(7).Raw(0, 32);
  ExpectRejected(boolean.bytes, 8, "boolean");

  ChunkBytes unterminated(4);
  unterminated.FunctionHeader().Int(0).Int(1).Byte(4).SizeT(2).Byte('h').Byte('i').Raw(0, 32);
  ExpectRejected(unterminated.bytes, 8, "not NUL-terminated");
}

TEST(ChunkValidation, NestingIsLimitedTo200Levels) {
  ChunkBytes deepest(4);
  AppendNested(deepest, 200);
  std::string out, error;
  EXPECT_TRUE(ConvertChunkLayout(deepest.bytes.data(), deepest.bytes.size(), 8, false, out, error)) << error;

  ChunkBytes tooDeep(4);
  AppendNested(tooDeep, 201);
  ExpectRejected(tooDeep.bytes, 8, "nested deeper than 200");
}

TEST(ChunkValidation, OnlyWidthsFourAndEightAreTargets) {
  const std::string chunk = Dump("return 1");
  ExpectRejected(chunk, 2, "only 4 or 8");
  ExpectRejected(chunk, 16, "only 4 or 8");
}

TEST(ChunkDetection, TellsPrecompiledChunksFromText) {
  const std::string chunk = Dump("return 1");
  EXPECT_TRUE(IsPrecompiledChunk(chunk.data(), chunk.size()));
  EXPECT_EQ(kNative, ChunkSizeTWidth(chunk.data(), chunk.size()));
  EXPECT_FALSE(IsPrecompiledChunk("return 1", 8));
  EXPECT_EQ(0, ChunkSizeTWidth("return 1", 8));
  EXPECT_FALSE(IsPrecompiledChunk("\x1bLu", 3));
  EXPECT_FALSE(IsPrecompiledChunk(nullptr, 0));
  EXPECT_EQ(0, ChunkSizeTWidth(nullptr, 0));
  EXPECT_EQ(0, ChunkSizeTWidth(chunk.data(), 17)) << "header cut short";
  ExpectRejected("return 1", 8, "not a precompiled Lua chunk");
}

}  // namespace
