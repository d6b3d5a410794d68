// The number-to-word conversions the bridge and the accessors rely on must be
// the same on both targets: round to nearest, ties to even, keep 32 bits.
#include "scripthost.h"

namespace {

class LuaConversionTest : public ScriptHostTest {
 protected:
  lua_Integer ToInteger(double n) {
    lua_pushnumber(L, n);
    lua_Integer v = lua_tointegerx(L, -1, nullptr);
    lua_pop(L, 1);
    return v;
  }
};

TEST_F(LuaConversionTest, IntegerConversionRoundsToEvenAndKeeps32Bits) {
  EXPECT_EQ(ToInteger(2.5), 2);
  EXPECT_EQ(ToInteger(3.5), 4);
  EXPECT_EQ(ToInteger(-2.5), -2);
  EXPECT_EQ(ToInteger(4294967295.0), -1);
  EXPECT_EQ(ToInteger(2147483648.0), -2147483647 - 1);
}

TEST_F(LuaConversionTest, UnsignedConversionKeepsLow32Bits) {
  lua_pushnumber(L, -1);
  EXPECT_EQ(lua_tounsignedx(L, -1, nullptr), 4294967295u);
  lua_pushnumber(L, 4294967296.0 + 7);
  EXPECT_EQ(lua_tounsignedx(L, -1, nullptr), 7u);
  lua_settop(L, 0);
}

TEST_F(LuaConversionTest, AccessorsRoundOffsetsAndValuesTheSameWay) {
  EXPECT_EQ(Run(R"(
    local b = RawBuffer.New(8)
    b:OffsetSetAsInt32(0, 2.5)
    b:OffsetSetAsInt32(4, 3.5)
    local r1, r2 = b:OffsetGetAsInt32(0), b:OffsetGetAsInt32(4)
    b:OffsetSetAsInt32(0, -2.5)
    b:OffsetSetAsUInt8(2.5, 9)   -- offset 2.5 is offset 2
    return r1, r2, b:OffsetGetAsInt16(0), b:OffsetGetAsUInt8(2))"),
            (Results{"2", "4", "-2", "9"}));
}

}  // namespace
