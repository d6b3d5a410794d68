// AString and WString: construction, indexing, metamethods, and texts whose
// block has no terminator.
#include <windows.h>

#include "scripthost.h"

namespace {

using TextObjectsTest = ScriptHostTest;

// Helper Lua: the type of an object by its metatable.
const char* kTypeOf = R"(
  local reg = debug.getregistry()
  function typeof(v)
    local mt = getmetatable(v)
    for _, n in ipairs{"AString", "WString", "RawBuffer"} do
      if mt == reg[n .. "MetaTable"] then return n end
    end
    return type(v)
  end
)";

TEST_F(TextObjectsTest, NewSizesTheBlockByCapacityOrText) {
  EXPECT_EQ(Run(R"(
    w = WString.New(10, "ab")
    w260 = WString.New(260)
    wEmpty = WString.New(nil, "")
    a2 = AString.New(2, "abc")
    return #w, tostring(w), #w260, tostring(w260))"),
            (Results{"2", "'ab'", "0", "''"}));
  EXPECT_EQ(BlockSize("w"), 20u);
  EXPECT_EQ(BlockSize("w260"), 520u);
  EXPECT_EQ(BlockSize("wEmpty"), 2u);
  EXPECT_EQ(BlockSize("a2"), 4u);
}

TEST_F(TextObjectsTest, NewWithoutPositiveCapacityOrTextGivesNil) {
  EXPECT_EQ(Run("return AString.New(0), AString.New(), WString.New(-3), WString.New('x')"),
            (Results{"nil", "nil", "nil", "nil"}));
}

TEST_F(TextObjectsTest, NewTakesTextsFromOtherValues) {
  EXPECT_EQ(Run(R"(
    local w = WString.New(nil, AString.New(nil, "from a"))
    local a = AString.New(nil, WString.New(nil, "from w"))
    return tostring(w), tostring(a), tostring(AString.New(nil, 12.5)),
           tostring(WString.New(nil, true)), tostring(WString.New(nil, RawBuffer.New(4))),
           tostring(AString.New(nil, {})))"),
            (Results{"'from a'", "'from w'", "'12.5'", "''", "''", "''"}));
}

TEST_F(TextObjectsTest, ChineseTextRoundTrips) {
  EXPECT_EQ(Run(R"(local w = WString.New(nil, "文件") return #w, tostring(w))"), (Results{"2", "'文件'"}));
  if (GetACP() == 936) {
    // Two double-byte characters in the ANSI code page.
    EXPECT_EQ(Run(R"(local a = AString.New(nil, "文件") return #a, tostring(a))"), (Results{"4", "'文件'"}));
  }
}

TEST_F(TextObjectsTest, EqualityComparesTextsNotSizesOrTypes) {
  EXPECT_EQ(Run(R"(
    return AString.New(nil, "abc") == AString.New(5, "abc"),
           WString.New(nil, "abc") == WString.New(9, "abc"),
           AString.New(nil, "abc") == AString.New(nil, "abC"),
           AString.New(nil, "abc") == WString.New(nil, "abc"))"),
            (Results{"true", "true", "false", "false"}));
}

TEST_F(TextObjectsTest, ConcatGivesTheLeftMetamethodsType) {
  Run(kTypeOf);
  EXPECT_EQ(Run(R"(
    local a5 = AString.New(nil, "a") .. 5
    local w5 = 5 .. WString.New(nil, "a")
    local aw = AString.New(nil, "x") .. WString.New(nil, "y")
    local sw = "s" .. WString.New(nil, "w")
    cat = AString.New(20, "ab") .. AString.New(20, "cd")
    return typeof(a5), tostring(a5), typeof(w5), tostring(w5), typeof(aw), tostring(aw),
           typeof(sw), tostring(sw), tostring(AString.New(nil, "t") .. {}))"),
            (Results{"'AString'", "'a5'", "'WString'", "'5a'", "'AString'", "'xy'", "'WString'", "'sw'", "'t'"}));
  EXPECT_EQ(BlockSize("cat"), 5u);  // combined length + 1, no spare part
}

TEST_F(TextObjectsTest, IndexReadsUnitsInsideTheBlock) {
  EXPECT_EQ(Run(R"(
    local s = WString.New(nil, "abc")
    local a = AString.New(nil, "xyz")
    return s[-1], s[0], s[2], s[3], s[4], s.name, a[0], a[2], a[3], a[4], a[1e12])"),
            (Results{"nil", "'a'", "'c'", "''", "nil", "'a'", "'x'", "'z'", "''", "nil", "nil"}));
}

TEST_F(TextObjectsTest, NewIndexReplacesOneUnitInsideTheText) {
  EXPECT_EQ(Run(R"(
    local s = WString.New(nil, "abc")
    s[1] = "xyz"
    local r1 = tostring(s)
    s[3] = "q"; s[-1] = "q"; s[1] = ""; s[2] = {}
    local r2 = tostring(s)
    s[0] = "Z"   -- index 0 is the first unit and writable
    local a = AString.New(10, "ab")
    a[1] = "B"; a[2] = "C"   -- 2 is past the text, though inside the block
    return r1, r2, tostring(s), tostring(a), #a)"),
            (Results{"'axc'", "'axc'", "'Zxc'", "'aB'", "2"}));
}

TEST_F(TextObjectsTest, TextWithoutTerminatorEndsAtTheBlock) {
  // A RawBuffer setter fills the terminator of each text's block.
  EXPECT_EQ(Run(R"(
    local set8, set16 = RawBuffer.New(1).OffsetSetAsUInt8, RawBuffer.New(1).OffsetSetAsUInt16
    local a = AString.New(nil, "abc")
    set8(a, 3, 100)
    local w = WString.New(nil, "ab")
    set16(w, 4, 0x4E2D)   -- 中
    return #a, tostring(a), a == AString.New(nil, "abcd"), tostring(a .. "!"), a[3], a[4],
           #w, tostring(w), tostring(WString.New(nil, w)), tostring(AString.New(nil, a)))"),
            (Results{"4", "'abcd'", "true", "'abcd!'", "'d'", "nil", "3", "'ab中'", "'ab中'", "'abcd'"}));
}

TEST_F(TextObjectsTest, ForeignReceiversHaveNoText) {
  // A light userdata given our metatable through the debug library points
  // at memory that is not a block of ours.
  EXPECT_EQ(Run(R"(
    local buf = RawBuffer.New(8)
    local p = buf:OffsetGetAsPointer(0)
    debug.setmetatable(p, debug.getregistry().AStringMetaTable)
    p[0] = "x"
    local len, text, unit = #p, tostring(p), p[0]
    debug.setmetatable(p, nil)
    local mt = debug.getregistry().WStringMetaTable
    mt.__newindex({}, 0, "x")
    return len, text, unit, mt.__len(5), mt.__index("abc", 0), buf:OffsetGetAsUInt32(0))"),
            (Results{"0", "''", "nil", "0", "nil", "0"}));
}

}  // namespace
