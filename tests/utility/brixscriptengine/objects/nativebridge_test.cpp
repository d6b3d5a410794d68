// The native library bridge: DllManager, the call thunk with its argument
// words and result tags, GLibTab, and real system exports.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "nativethunk.h"
#include "scripthost.h"
#include "strconv.h"
#include "testpaths.h"

namespace {

// Machine field of a PE file's header (0x14C i386, 0x8664 AMD64); 0 when
// the file is not one.
unsigned PeMachine(const std::wstring& path) {
  const std::string bytes = testsupport::ReadFileBytes(path);
  if (bytes.size() < 0x40) return 0;
  uint32_t pe = 0;
  std::memcpy(&pe, bytes.data() + 0x3C, 4);
  if (pe + 6 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  uint16_t machine = 0;
  std::memcpy(&machine, bytes.data() + pe + 4, 2);
  return machine;
}

bool IsWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// WORD64(lo, hi): one argument word holding a 64-bit value, which a number
// cannot be on x86_64 (numbers become 32-bit words).
int Word64(lua_State* L) {
  const uint64_t v = static_cast<uint64_t>(lua_tonumber(L, 1)) | static_cast<uint64_t>(lua_tonumber(L, 2)) << 32;
  lua_pushlightuserdata(L, reinterpret_cast<void*>(static_cast<uintptr_t>(v)));
  return 1;
}

class NativeBridgeTest : public ScriptHostTest {
 protected:
  void SetUp() override {
    ScriptHostTest::SetUp();
    SetGlobal("BT", brix::WideToUtf8(testsupport::BinPath(L"bridgetest.dll")));
    SetGlobal("PID", static_cast<double>(GetCurrentProcessId()));
    Run(R"(
      bt = assert(DllManager.Load(BT))
      function fn(name, tag, cdecl) return assert(bt:Get(name, tag, cdecl)) end
      NULL = fn("bt_null_ptr", "ptr", true)()
      touches = fn("bt_touch_count", "int", true)
    )");
  }
  // <name>_LO and <name>_HI: the two 32-bit halves of 64 bits.
  void SetHalves(const std::string& name, uint64_t bits) {
    SetGlobal((name + "_LO").c_str(), static_cast<double>(static_cast<uint32_t>(bits)));
    SetGlobal((name + "_HI").c_str(), static_cast<double>(static_cast<uint32_t>(bits >> 32)));
  }
};

TEST_F(NativeBridgeTest, LoadGivesAnObjectOrNilAndTheErrorCode) {
  EXPECT_EQ(Run(R"(return DllManager.Load(BT), DllManager.Load("Z:\\no\\such\\lib.dll"))"),
            (Results{"DllManager", "nil", "126"}));
  EXPECT_EQ(Run("return select('#', DllManager.Load({})), type(select(2, DllManager.Load({})))"),
            (Results{"2", "'number'"}));
}

TEST_F(NativeBridgeTest, GetTurnsExportsIntoFunctions) {
  EXPECT_EQ(Run(R"(
    local f, code = bt:Get("bt_two_std", "int")
    local missing, err = bt:Get("no_such_export")
    return type(f), code, f(), missing, err)"),
            (Results{"'function'", "0", "2", "nil", "127"}));
}

TEST_F(NativeBridgeTest, GetOnAnythingButADllManagerSaysSo) {
  EXPECT_EQ(Run(R"(
    local get = bt.Get
    local r = {}
    for _, v in ipairs{5, "bt_two_std", {}, RawBuffer.New(16), AString.New(nil, "x")} do
      local f, msg = get(v, "bt_two_std")
      r[#r + 1] = tostring(f) .. ":" .. msg
    end
    return table.concat(r, ","))"),
            (Results{"'nil:hModule is nil,nil:hModule is nil,nil:hModule is nil,nil:hModule is nil,nil:hModule is nil'"}));
}

TEST_F(NativeBridgeTest, ResultTagsConvertTheReturnValue) {
  EXPECT_EQ(Run(R"(
    return fn("bt_two_std", "bool")(), fn("bt_all_bits_std", "int")(), fn("bt_all_bits_cdecl", "uint", true)(),
           fn("bt_all_bits_std", "INT")(), fn("bt_wide_text", "wstr", true)(),
           fn("bt_null_ptr", "astr", true)(), fn("bt_null_ptr", "wstr", true)(), NULL)"),
            (Results{"true", "-1", "4294967295", "nil", "'wide 文字'", "''", "''", "light"}));
  EXPECT_EQ(Run(R"(
    local r, err = fn("bt_two_std")()
    return select('#', fn("bt_two_std")()), r, type(err))"),
            (Results{"2", "nil", "'number'"}));
  if (GetACP() == 936) {
    EXPECT_EQ(Run(R"(return (fn("bt_ansi_text", "astr", true)()))"), (Results{"'abc中文'"}));
  }
}

TEST_F(NativeBridgeTest, LastErrorIsReadRightAfterTheCall) {
  EXPECT_EQ(Run(R"(
    local set = GLibTab.kernel32:Get("SetLastError")
    local _, viaKernel = set(55)
    local r, err = fn("bt_set_error_std", "int")()
    return r, err, viaKernel)"),
            (Results{"7", "1234", "55"}));
}

TEST_F(NativeBridgeTest, ArgumentsBecomeWords) {
  EXPECT_EQ(Run(R"(
    fn("bt_record4", nil, true)(nil, true, 3.5, "a")
    local rec = fn("bt_recorded", "uint", true)
    return rec(0), rec(1), rec(2), (fn("bt_recorded_text", "astr", true)()))"),
            (Results{"0", "1", "4", "'a'"}));
  // Numbers arrive sign-extended; addresses at their full width.
  EXPECT_EQ(Run(R"(
    local isMinusOne = fn("bt_is_minus_one", "int", true)
    local echo = fn("bt_echo_ptr", "ptr", true)
    local high = fn("bt_high_ptr", "ptr", true)()
    local buf = RawBuffer.New(8)
    return isMinusOne(-1), isMinusOne(4294967295), isMinusOne(1), echo(high) == high,
           fn("bt_is_high_ptr", "bool", true)(high), echo(buf) == buf:OffsetGetAsPointer(0),
           echo(buf:OffsetGetAsPointer(3)) == buf:OffsetGetAsPointer(3), echo(false) == NULL)"),
            (Results{"1", "1", "0", "true", "true", "true", "true", "true"}));
}

TEST_F(NativeBridgeTest, ObjectsPassTheirBlocks) {
  EXPECT_EQ(Run(R"(
    local buf = RawBuffer.New(8)
    local n = fn("bt_fill_std", "int")(buf, 8)
    local wlen = fn("bt_wlen_std", "int")(WString.New(100, "文件ab"))
    -- A DllManager's block holds its module handle.
    local k32 = GLibTab.kernel32
    local handle, expected = RawBuffer.New(8), RawBuffer.New(8)
    k32:Get("RtlMoveMemory")(handle, k32, PTRSIZE)
    expected:OffsetSetAsPointer(0, (k32:Get("GetModuleHandleW", "ptr")(WString.New(nil, "kernel32"))))
    return n, buf:OffsetGetAsUInt32(0), buf:OffsetGetAsUInt32(4), wlen,
           handle:OffsetGetAsUInt32(0) == expected:OffsetGetAsUInt32(0) and
           handle:OffsetGetAsUInt32(4) == expected:OffsetGetAsUInt32(4))"),
            (Results{"8", "67305985", "134678021", "4", "true"}));
}

TEST_F(NativeBridgeTest, ManyArgumentsReachTheirSlots) {
  // checksum = sum of i * a_i with a_i = 3i - 50 (negative ones included)
  unsigned expected32 = 0;
  for (unsigned i = 1; i <= 32; ++i) expected32 += i * static_cast<unsigned>(3 * static_cast<int>(i) - 50);
  SetGlobal("EXPECTED32", static_cast<double>(expected32));
  EXPECT_EQ(Run(R"(
    local args = {}
    for i = 1, 64 do args[i] = 3 * i - 50 end
    local sum32 = fn("bt_checksum32_cdecl", "uint", true)
    local sum6 = fn("bt_checksum6_std", "uint")
    local aligned = fn("bt_stack_aligned", "int", true)
    local misaligned = {}
    for n = 0, 9 do
      if aligned(table.unpack(args, 1, n)) ~= 1 then misaligned[#misaligned + 1] = n end
    end
    -- 64 words are accepted (a cdecl callee ignores the extra ones).
    return sum32(table.unpack(args, 1, 32)) == EXPECTED32, sum32(table.unpack(args, 1, 64)) == EXPECTED32,
           sum6(1, 2, 3, 4, 5, 6), fn("bt_checksum6_std", "uint", true)(1, 2, 3, 4, 5, 6),
           table.concat(misaligned, ","))"),
            (Results{"true", "true", "91", "91", "''"}));
}

// A 64-bit or double argument is its 8 bytes in pointer-sized words: two
// numbers (low half first) on i686, as the shipped scripts pass them, one
// full-width word on x86_64.
TEST_F(NativeBridgeTest, SixtyFourBitAndDoubleArguments) {
  auto bitsOf = [](double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    return bits;
  };
  SetHalves("B", bitsOf(2.5));
  SetHalves("C", 0x123456789ABCDEF0ull);
  SetHalves("E", bitsOf(-1e300));
  SetHalves("F", static_cast<uint64_t>(-2ll));
  lua_register(L, "WORD64", Word64);
  EXPECT_EQ(Run(R"(
    local function wide(t, lo, hi)
      if PTRSIZE == 4 then t[#t + 1] = lo; t[#t + 1] = hi else t[#t + 1] = WORD64(lo, hi) end
    end
    local words = {-7}
    wide(words, B_LO, B_HI)
    wide(words, C_LO, C_HI)
    words[#words + 1] = 42
    wide(words, E_LO, E_HI)
    wide(words, F_LO, F_HI)
    local n = #words
    return n, fn("bt_wide_args_std", "uint")(table.unpack(words, 1, n)),
           fn("bt_wide_args_cdecl", "uint", true)(table.unpack(words, 1, n)),
           fn("bt_wide_args_std", "uint", true)(table.unpack(words, 1, n)),
           (fn("bt_wide_args_cdecl", "uint")(table.unpack(words, 1, n))))"),
            (Results{sizeof(void*) == 4 ? "10" : "6", "63", "63", "63", "63"}));
}

// Both conventions, each also called with the other's flag and with too
// few words for the callee: the stack is where it was after every call.
TEST_F(NativeBridgeTest, EveryCallLeavesTheStackWhereItWas) {
  EXPECT_EQ(Run(R"(
    local sp = fn("bt_entry_sp", "ptr", true)
    local args = {}
    for i = 1, 16 do args[i] = i end
    local std16, std16c = fn("bt_checksum16_std", "uint"), fn("bt_checksum16_std", "uint", true)
    local cd, cdAsStd = fn("bt_checksum32_cdecl", "uint", true), fn("bt_checksum32_cdecl", "uint")
    local calls = {
      function() return std16(table.unpack(args)) end,
      function() return std16c(table.unpack(args)) end,
      function() return cd(table.unpack(args)) end,
      function() return cdAsStd(table.unpack(args)) end,
      function() return fn("bt_checksum6_std", "uint")(1, 2) end,
      function() return fn("bt_checksum6_std", "uint", true)() end,
    }
    local first = sp()
    local moved, sums = {}, {}
    for i, call in ipairs(calls) do
      sums[i] = call()
      if sp() ~= first then moved[#moved + 1] = i end
    end
    return table.concat(moved, ","), sums[1], sums[2])"),
            (Results{"''", "1496", "1496"}));
}

TEST_F(NativeBridgeTest, BadArgumentsRaiseBeforeAnyCall) {
  Run(R"(touch = fn("bt_touch", "int", true) before = touches())");
  for (const char* args : {"{}", "print", "coroutine.create(print)", "1, 2, {}", "table.unpack(SIXTY_FIVE)"}) {
    Run("SIXTY_FIVE = {} for i = 1, 65 do SIXTY_FIVE[i] = i end");
    std::string msg = RunError(std::string("touch(") + args + ")");
    EXPECT_NE(msg.find("unknow argument type"), std::string::npos) << args << ": " << msg;
  }
  EXPECT_EQ(Run("return touches() - before, touch(table.unpack(SIXTY_FIVE, 1, 64)) - before"),
            (Results{"0", "1"}));
}

TEST_F(NativeBridgeTest, ThunkWithoutAddressGivesZero) {
  lua_pushnil(L);
  lua_pushnil(L);
  lua_pushnil(L);
  lua_pushcclosure(L, brix::objects::NativeThunk, 3);
  lua_setglobal(L, "empty");
  EXPECT_EQ(Run("return empty(1, 2)"), (Results{"0"}));
}

TEST_F(NativeBridgeTest, GLibTabLoadsOnceAndCachesByTheKeyAsWritten) {
  EXPECT_EQ(Run(R"(
    local a, b = GLibTab.user32, GLibTab.user32
    local lower, upper = GLibTab.kernel32, GLibTab.Kernel32
    return a, a == b, rawget(GLibTab, "user32") == a, lower ~= upper, rawget(GLibTab, "Kernel32") == upper,
           GLibTab.no_such_library_x7, GLibTab.no_such_library_x7, rawget(GLibTab, "no_such_library_x7"),
           GLibTab[true], GLibTab[print])"),
            (Results{"DllManager", "true", "true", "true", "true", "nil", "nil", "nil", "nil", "nil"}));
}

TEST_F(NativeBridgeTest, GLibTabRetriesAFailedLoadAndReloadsAfterUnLoad) {
  std::wstring dir = testsupport::MakeTempDir(L"glibtab");
  ASSERT_FALSE(dir.empty());
  std::wstring dll = dir + L"\\bt_copy.dll";
  SetGlobal("COPY", brix::WideToUtf8(dll));
  Run(R"(
    gmh = GLibTab.kernel32:Get("GetModuleHandleW", "ptr")
    function loaded() return gmh(WString.New(nil, COPY)) ~= NULL end
    first = GLibTab[COPY]
  )");
  ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"bridgetest.dll").c_str(), dll.c_str(), FALSE));
  EXPECT_EQ(Run(R"(
    local lib = GLibTab[COPY]
    local wasLoaded = loaded()
    lib:UnLoad()
    local afterUnLoad = loaded()
    GLibTab[COPY] = nil
    local again = GLibTab[COPY]
    local works = again:Get("bt_two_std", "int")()
    local reloaded = loaded()
    again:UnLoad()
    return first, lib, wasLoaded, afterUnLoad, again ~= lib, works, reloaded, loaded())"),
            (Results{"nil", "DllManager", "true", "false", "true", "2", "true", "false"}));
  testsupport::RemoveTree(dir);
}

TEST_F(NativeBridgeTest, UnLoadIgnoresOtherReceivers) {
  EXPECT_EQ(Run(R"(
    local unload = bt.UnLoad
    return select('#', unload(5)), unload(RawBuffer.New(8)), unload(), (bt:Get("bt_two_std", "int")()))"),
            (Results{"1", "nil", "nil", "2"}));
}

TEST_F(NativeBridgeTest, SystemExports) {
  SetGlobal("EXISTING", brix::WideToUtf8(testsupport::BinPath(L"bridgetest.dll")));
  EXPECT_EQ(Run(R"(
    local k32 = GLibTab.kernel32
    local pid = k32:Get("GetCurrentProcessId", "uint")()
    local slept, sleepErr = GLibTab.Kernel32:Get("Sleep")(1)
    local noWindow = GLibTab.user32:Get("FindWindowW", "ptr")(nil, WString.New(nil, "no window has this title 7f3a"))
    local exists = GLibTab.shlwapi:Get("PathFileExistsA", "bool")
    return pid == PID, slept, type(sleepErr), noWindow == NULL, exists(AString.New(nil, EXISTING)),
           (exists(AString.New(nil, EXISTING .. ".missing"))))"),
            (Results{"true", "nil", "'number'", "true", "true", "false"}));
}

// System32 as the shipped scripts see it: a 32-bit process on 64-bit Windows
// is sent to SysWOW64 unless it turns the redirection off for a moment.
TEST_F(NativeBridgeTest, FileSystemRedirectionOfSystem32) {
  wchar_t sys[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryW(sys, MAX_PATH), 0u);
  std::wstring dir = testsupport::MakeTempDir(L"fsredirect");
  ASSERT_FALSE(dir.empty());
  SetGlobal("SYS_K32", brix::WideToUtf8(std::wstring(sys) + L"\\kernel32.dll"));
  SetGlobal("OFF_COPY", brix::WideToUtf8(dir + L"\\off.dll"));
  SetGlobal("ON_COPY", brix::WideToUtf8(dir + L"\\on.dll"));
  const Results r = Run(R"(
    local k32 = GLibTab.kernel32
    local copy = k32:Get("CopyFileW", "int")
    local old = RawBuffer.New(8)
    local off, offErr = k32:Get("Wow64DisableWow64FsRedirection", "int")(old)
    local offCopied, reverted = 0, 0
    if off == 1 then
      offCopied = copy(WString.New(nil, SYS_K32), WString.New(nil, OFF_COPY), 0)
      reverted = k32:Get("Wow64RevertWow64FsRedirection", "int")(old:OffsetGetAsUInt32(0))
    end
    local onCopied = copy(WString.New(nil, SYS_K32), WString.New(nil, ON_COPY), 0)
    return off, offErr ~= 0, offCopied, reverted, onCopied)");
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[4], "1");
  const unsigned on = PeMachine(dir + L"\\on.dll"), off = PeMachine(dir + L"\\off.dll");
  if (IsWow64()) {
    // i686 on 64-bit Windows: redirected by default, the real folder while off.
    EXPECT_EQ(r[0], "1");
    EXPECT_EQ(r[2], "1");
    EXPECT_EQ(r[3], "1");
    EXPECT_EQ(on, static_cast<unsigned>(IMAGE_FILE_MACHINE_I386));
    EXPECT_EQ(off, static_cast<unsigned>(IMAGE_FILE_MACHINE_AMD64));
  } else {
    // A 64-bit process: nothing is redirected; turning it off may be refused
    // (with an error code) or be a no-op.
    EXPECT_TRUE(r[0] == "1" || r[1] == "true") << r[0] << " " << r[1];
    EXPECT_EQ(on, sizeof(void*) == 8 ? static_cast<unsigned>(IMAGE_FILE_MACHINE_AMD64)
                                     : static_cast<unsigned>(IMAGE_FILE_MACHINE_I386));
    if (r[0] == "1") {
      EXPECT_EQ(off, on);
    }
  }
  testsupport::RemoveTree(dir);
}

}  // namespace
