// Exports called with fewer words than they read: the missing arguments are
// zero, and the call neither crashes nor unbalances the stack (i686 stdcall
// callees pop what they declared, not what they got).
#include "scripthost.h"

namespace {

using NativeCallTest = ScriptHostTest;

TEST_F(NativeCallTest, MissingArgumentsReadAsZero) {
  EXPECT_EQ(Run(R"(
    local k32 = GLibTab.kernel32
    local own = k32:Get("GetModuleHandleW", "ptr")()
    local null = k32:Get("GetModuleHandleW", "ptr")(0)
    local mulDiv = k32:Get("MulDiv", "int")
    return own == null, own ~= nil, mulDiv(), mulDiv(6), mulDiv(6, 7), (mulDiv(6, 7, 2)))"),
            (Results{"true", "true", "-1", "-1", "-1", "21"}));
}

TEST_F(NativeCallTest, RepeatedShortCallsLeaveTheStackAsItWas) {
  // A stack off by a word per call would show within a few thousand calls.
  EXPECT_EQ(Run(R"(
    local mulDiv = GLibTab.kernel32:Get("MulDiv", "int")
    local sum = 0
    for i = 1, 5000 do sum = sum + mulDiv(i) + mulDiv(i, 2, 1) end
    return sum)"),
            (Results{std::to_string(-5000 + 5000 * 5001)}));
}

}  // namespace
