// RawBuffer: typed accessors, their value conversions, and what happens at
// and past the edges of a block.
#include <windows.h>

#include "scripthost.h"

namespace {

using RawBufferTest = ScriptHostTest;

TEST_F(RawBufferTest, NewGivesAZeroFilledBlockOrNil) {
  EXPECT_EQ(Run(R"(
    b = RawBuffer.New("6")
    local all = 0
    for i = 0, 5 do all = all + b:OffsetGetAsUInt8(i) end
    return all, RawBuffer.New(0), RawBuffer.New(), RawBuffer.New(4294967296))"),
            (Results{"0", "nil", "nil", "nil"}));
  EXPECT_EQ(BlockSize("b"), 6u);
}

TEST_F(RawBufferTest, NewRefusesSizesThatAreNoWholeByteCountWithinTheLimit) {
  // Negative sizes once wrapped to 4 GiB, and sizes past 2^32 to small ones.
  EXPECT_EQ(Run(R"(
    return RawBuffer.New(-1), RawBuffer.New(2^32 + 8), RawBuffer.New(6.4), RawBuffer.New(0/0),
           RawBuffer.New(64 * 1024 * 1024 + 1), RawBuffer.New("abc"), RawBuffer.New({}))"),
            (Results{"nil", "nil", "nil", "nil", "nil", "nil", "nil"}));
  EXPECT_EQ(Run("b = RawBuffer.New(64 * 1024 * 1024); return b ~= nil"), (Results{"true"}));
  EXPECT_EQ(BlockSize("b"), 64u * 1024 * 1024);
}

TEST_F(RawBufferTest, IntegerAccessorsStoreLowBytesLittleEndian) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(4)
    b:OffsetSetAsUInt32(0, 4294967295)
    local u, s = b:OffsetGetAsUInt32(0), b:OffsetGetAsInt32(0)
    b:OffsetSetAsInt32(0, 0x04030201)
    local lowByte = b:OffsetGetAsUInt8(0)
    b:OffsetSetAsInt16(0, 70000)
    return u, s, lowByte, b:OffsetGetAsUInt16(0), b:OffsetGetAsUInt8(0), b:OffsetGetAsUInt16(2))"),
            (Results{"4294967295", "-1", "1", "4464", "112", "1027"}));
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(4)
    b:OffsetSetAsUInt32(0, -1)
    local viaUnsigned = b:OffsetGetAsUInt32(0)
    b:OffsetSetAsInt32(0, 4294967295)
    local viaSigned = b:OffsetGetAsUInt32(0)
    b:OffsetSetAsInt8(0, -1); b:OffsetSetAsUInt8(1, 257); b:OffsetSetAsUInt16(2, -2)
    return viaUnsigned, viaSigned, b:OffsetGetAsInt8(0), b:OffsetGetAsUInt8(0), b:OffsetGetAsUInt8(1),
           b:OffsetGetAsUInt16(2), b:OffsetGetAsInt16(2))"),
            (Results{"4294967295", "4294967295", "-1", "255", "1", "65534", "-2"}));
}

TEST_F(RawBufferTest, BooleansAreFourByteTruthiness) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(12)
    b:OffsetSetAsBoolean(0, "")
    b:OffsetSetAsBoolean(4, 0)
    b:OffsetSetAsUInt32(8, 0x100)
    local r = {b:OffsetGetAsUInt32(0), b:OffsetGetAsUInt32(4), b:OffsetGetAsBoolean(8)}
    b:OffsetSetAsBoolean(0, nil)
    return r[1], r[2], r[3], b:OffsetGetAsBoolean(0))"),
            (Results{"1", "1", "true", "false"}));
}

// HIGH: a light userdata whose address fills the whole word of this build.
int PushHigh(lua_State* L) {
  lua_pushlightuserdata(L, reinterpret_cast<void*>(sizeof(void*) == 8 ? static_cast<uintptr_t>(0x123456789ABCDEF0ull)
                                                                      : static_cast<uintptr_t>(0x89ABCDEFu)));
  return 1;
}

// One pointer's width and no byte more: 4 bytes on i686, 8 on x86_64.
TEST_F(RawBufferTest, SetAsPointerWritesOneWordOfThisBuild) {
  lua_register(L, "HIGH", PushHigh);
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(16)
    for i = 0, 15 do b:OffsetSetAsUInt8(i, 0xAA) end
    b:OffsetSetAsPointer(4, HIGH())
    return b:OffsetGetAsUInt32(0), b:OffsetGetAsUInt32(4), b:OffsetGetAsUInt32(8), b:OffsetGetAsUInt32(12))"),
            sizeof(void*) == 8 ? (Results{"2863311530", "2596069104", "305419896", "2863311530"})
                               : (Results{"2863311530", "2309737967", "2863311530", "2863311530"}));
}

TEST_F(RawBufferTest, PointersAreBlockAddresses) {
  // Addresses are compared as numbers read back from a pointer field.
  EXPECT_EQ(Run(R"(
    local function addr(h, off)
      local hi = PTRSIZE == 8 and h:OffsetGetAsUInt32(off + 4) or 0
      return h:OffsetGetAsUInt32(off) + hi * 4294967296
    end
    local b, h = RawBuffer.New(16), RawBuffer.New(24)
    h:OffsetSetAsPointer(0, b)
    h:OffsetSetAsPointer(8, b:OffsetGetAsPointer(8))
    h:OffsetSetAsPointer(16, b:OffsetGetAsPointer(0))
    local base = addr(h, 0)
    return base ~= 0, addr(h, 8) - base, addr(h, 16) - base, b:OffsetGetAsPointer(0) == b:OffsetGetAsPointer(0))"),
            (Results{"true", "8", "0", "true"}));
  EXPECT_EQ(Run(R"(
    local h = RawBuffer.New(8)
    h:OffsetSetAsUInt32(0, 77)
    h:OffsetSetAsPointer(0, "not userdata")
    return h:OffsetGetAsUInt32(0))"),
            (Results{"0"}));
}

TEST_F(RawBufferTest, TextAccessorsCopyWholeBlocksAndReadToTheTerminator) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(16)
    b:OffsetSetAsWString(2, WString.New(nil, "hi"))
    b:OffsetSetAsAString(10, AString.New(nil, "ok"))
    local r = {b:OffsetGetAsWString(2), b:OffsetGetAsAString(10), b:OffsetGetAsUInt16(2)}
    b:OffsetSetAsWString(0, WString.New(8, "x"))   -- 16 bytes, spare part included
    return r[1], r[2], r[3], b:OffsetGetAsWString(0), b:OffsetGetAsAString(10))"),
            (Results{"'hi'", "'ok'", "104", "'x'", "''"}));
}

TEST_F(RawBufferTest, TextSettersCopyNothingFromValuesWithoutATextBlock) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(8)
    b:OffsetSetAsWString(0, "plain")
    b:OffsetSetAsAString(0, {})
    b:OffsetSetAsAString(0, RawBuffer.New(4))
    return b:OffsetGetAsUInt32(0), b:OffsetGetAsUInt32(4))"),
            (Results{"0", "0"}));
}

TEST_F(RawBufferTest, AnsiTextIsConvertedToUtf8) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936";
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(5)
    b:OffsetSetAsUInt32(0, 0xC4CED0D6)   -- 中文 in code page 936
    return b:OffsetGetAsAString(0))"),
            (Results{"'中文'"}));
}

// Every accessor at the last offset where its width fits, and one past it.
TEST_F(RawBufferTest, AccessesThatDoNotFitTheBlockGiveNilOrChangeNothing) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(8)
    local widths = {Int32 = 4, UInt32 = 4, Int16 = 2, UInt16 = 2, Int8 = 1, UInt8 = 1, Boolean = 4,
                    WString = 2, AString = 1, Pointer = 1}
    local bad = {}
    for name, w in pairs(widths) do
      local get = b["OffsetGetAs" .. name]
      if get(b, 8 - w) == nil then bad[#bad + 1] = name .. " last" end
      for _, off in ipairs{9 - w, -1, -2147483648, 2147483647, 4294967295 + 1 - w, 1e12} do
        if get(b, off) ~= nil then bad[#bad + 1] = name .. " " .. off end
      end
    end
    for name, w in pairs{Int32 = 4, UInt32 = 4, Int16 = 2, UInt16 = 2, Int8 = 1, UInt8 = 1, Boolean = 4} do
      local set = b["OffsetSetAs" .. name]
      set(b, 8 - w, 0x7F7F7F7F)
      if b:OffsetGetAsUInt8(8 - w) == 0 then bad[#bad + 1] = name .. " set last" end
      b:OffsetSetAsUInt32(4, 0)
      for _, off in ipairs{9 - w, -1, -2147483648, 1e12} do set(b, off, -1) end
      if b:OffsetGetAsUInt32(0) ~= 0 or b:OffsetGetAsUInt32(4) ~= 0 then bad[#bad + 1] = name .. " set past" end
    end
    b:OffsetSetAsPointer(8 - PTRSIZE + 1, b)
    b:OffsetSetAsWString(3, WString.New(nil, "ab"))   -- 6 bytes into 5
    b:OffsetSetAsAString(-1, AString.New(nil, "a"))
    local untouched = b:OffsetGetAsUInt32(0) == 0 and b:OffsetGetAsUInt32(4) == 0
    b:OffsetSetAsPointer(8 - PTRSIZE, b)
    return table.concat(bad, ","), untouched, b:OffsetGetAsUInt32(8 - PTRSIZE) ~= 0)"),
            (Results{"''", "true", "true"}));
}

TEST_F(RawBufferTest, TextReadsStopAtTheBlockEndWithoutATerminator) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(5)
    for i = 0, 4 do b:OffsetSetAsUInt8(i, 0x61 + i) end
    local w = RawBuffer.New(5)
    w:OffsetSetAsUInt32(0, 0x00620061); w:OffsetSetAsUInt8(4, 0x63)   -- "ab" and a half unit
    local odd = RawBuffer.New(5)
    odd:OffsetSetAsUInt32(1, 0x00790078)   -- "xy" at an odd offset
    return b:OffsetGetAsAString(0), b:OffsetGetAsAString(4), w:OffsetGetAsWString(0), w:OffsetGetAsWString(2),
           odd:OffsetGetAsWString(1), w:OffsetGetAsWString(4))"),
            (Results{"'abcde'", "'e'", "'ab'", "'b'", "'xy'", "nil"}));
}

TEST_F(RawBufferTest, AccessorsOnAnythingButOurBuffersDoNothing) {
  EXPECT_EQ(Run(R"(
    local m = getmetatable(RawBuffer.New(1))
    local lib = GLibTab.kernel32
    local bad = {}
    for i, v in ipairs{5, "abcdefgh", {}, lib, print, true, m.OffsetGetAsPointer(RawBuffer.New(4), 0)} do
      for name, f in pairs(m) do
        if name:find("^OffsetGet") and f(v, 0) ~= nil then bad[#bad + 1] = name .. " " .. i end
        if name:find("^OffsetSet") then f(v, 0, 1) end
      end
    end
    -- The text types are buffers too.
    local a = AString.New(nil, "abc")
    m.OffsetSetAsUInt8(a, 0, 0x7A)
    local _, code = lib:Get("Sleep")   -- the setters left the handle alone
    return table.concat(bad, ","), m.OffsetGetAsUInt8(a, 1), tostring(a), code)"),
            (Results{"''", "98", "'zbc'", "0"}));
}

TEST_F(RawBufferTest, MissingOperandsReadAsZero) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(4)
    b:OffsetSetAsUInt8(0, 9)
    local first = b:OffsetGetAsUInt8()
    b:OffsetSetAsUInt8(0)
    return first, b:OffsetGetAsUInt8(0), b.OffsetGetAsUInt8())"),
            (Results{"9", "0", "nil"}));
}

}  // namespace
