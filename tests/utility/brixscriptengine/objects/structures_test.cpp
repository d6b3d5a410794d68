// Structures whose layout follows the word size: their sizes in each build,
// and the same structures built by a script in a RawBuffer and handed to the
// system through the native bridge, as the shipped scripts do.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <cstddef>

#include "scripthost.h"
#include "strconv.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;

TEST(StructureLayouts, ShellExecuteInfoFollowsTheWordSize) {
  EXPECT_EQ(sizeof(SHELLEXECUTEINFOW), k32 ? 60u : 112u);
  EXPECT_EQ(offsetof(SHELLEXECUTEINFOW, lpFile), k32 ? 16u : 24u);
  EXPECT_EQ(offsetof(SHELLEXECUTEINFOW, lpParameters), k32 ? 20u : 32u);
  EXPECT_EQ(offsetof(SHELLEXECUTEINFOW, nShow), k32 ? 28u : 48u);
  EXPECT_EQ(offsetof(SHELLEXECUTEINFOW, hProcess), k32 ? 56u : 104u);
}

TEST(StructureLayouts, ProcessEntryFollowsTheWordSize) {
  // 556 is the size the 32-bit installer passes.
  EXPECT_EQ(sizeof(PROCESSENTRY32W), k32 ? 556u : 568u);
  EXPECT_EQ(offsetof(PROCESSENTRY32W, th32ProcessID), 8u);
  EXPECT_EQ(offsetof(PROCESSENTRY32W, szExeFile), k32 ? 36u : 44u);
}

class ScriptStructures : public ScriptHostTest {
 protected:
  void SetUp() override {
    ScriptHostTest::SetUp();
    SetGlobal("PID", static_cast<double>(GetCurrentProcessId()));
  }
};

// SEE_MASK_NOCLOSEPROCESS gives the started process's handle back in the
// structure, at the offset of this build.
TEST_F(ScriptStructures, ShellExecuteInfoBuiltByAScript) {
  SetGlobal("SEI_SIZE", static_cast<double>(sizeof(SHELLEXECUTEINFOW)));
  SetGlobal("SEI_FILE", static_cast<double>(offsetof(SHELLEXECUTEINFOW, lpFile)));
  SetGlobal("SEI_PARAMS", static_cast<double>(offsetof(SHELLEXECUTEINFOW, lpParameters)));
  SetGlobal("SEI_SHOW", static_cast<double>(offsetof(SHELLEXECUTEINFOW, nShow)));
  SetGlobal("SEI_PROCESS", static_cast<double>(offsetof(SHELLEXECUTEINFOW, hProcess)));
  EXPECT_EQ(Run(R"(
    local k32 = GLibTab.kernel32
    local info = RawBuffer.New(SEI_SIZE)
    local file, params = WString.New(nil, "cmd.exe"), WString.New(nil, "/c exit 7")
    info:OffsetSetAsUInt32(0, SEI_SIZE)
    info:OffsetSetAsUInt32(4, 0x40)            -- SEE_MASK_NOCLOSEPROCESS
    info:OffsetSetAsPointer(SEI_FILE, file)
    info:OffsetSetAsPointer(SEI_PARAMS, params)
    info:OffsetSetAsUInt32(SEI_SHOW, 0)        -- SW_HIDE
    local ok = GLibTab.shell32:Get("ShellExecuteExW", "bool")(info)
    local process = info:OffsetGetAsUInt32(SEI_PROCESS)   -- handles fit 32 bits
    local waited = k32:Get("WaitForSingleObject", "uint")(process, 60000)
    local code = RawBuffer.New(4)
    k32:Get("GetExitCodeProcess", "bool")(process, code)
    k32:Get("CloseHandle")(process)
    return ok, process ~= 0, waited, code:OffsetGetAsUInt32(0))"),
            (Results{"true", "true", "0", "7"}));
}

// The script walks the process list for its own entry; on x86_64 the
// 32-bit size (556) is refused, so a script written for it works only in
// the i686 build.
TEST_F(ScriptStructures, ProcessEntryBuiltByAScript) {
  SetGlobal("PE_SIZE", static_cast<double>(sizeof(PROCESSENTRY32W)));
  SetGlobal("PE_NAME", static_cast<double>(offsetof(PROCESSENTRY32W, szExeFile)));
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring path(self);
  const std::string name = brix::WideToUtf8(path.substr(path.find_last_of(L'\\') + 1));
  Run(R"(
    k32 = GLibTab.kernel32
    snapshot = k32:Get("CreateToolhelp32Snapshot", "uint")(2, 0)   -- TH32CS_SNAPPROCESS
    function find(size)
      local entry = RawBuffer.New(PE_SIZE)
      entry:OffsetSetAsUInt32(0, size)
      local ok = k32:Get("Process32FirstW", "bool")(snapshot, entry)
      local first = ok
      while ok do
        if entry:OffsetGetAsUInt32(8) == PID then return first, entry:OffsetGetAsWString(PE_NAME) end
        ok = k32:Get("Process32NextW", "bool")(snapshot, entry)
      end
      return first, nil
    end
  )");
  EXPECT_EQ(Run("return find(PE_SIZE)"), (Results{"true", "'" + name + "'"}));
  EXPECT_EQ(Run("return (find(556))"), (Results{k32 ? "true" : "false"}));
  Run("k32:Get('CloseHandle')(snapshot)");
}

}  // namespace
