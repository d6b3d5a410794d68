// Lua_EnablePrivilege and the privilege step of Lua_ExitWindows. The
// shutdown call itself is never made: under Wine any flags end the session.
#include <windows.h>

#include <gtest/gtest.h>

#include "brixprocesstoolhelp.h"
#include "functions/systemops.h"
#include "systest.h"

using namespace systest;

namespace {

// -1 when the token does not hold the privilege, else 1 (enabled) or 0.
int PrivilegeState(const wchar_t* name) {
  LUID luid = {};
  if (!LookupPrivilegeValueW(nullptr, name, &luid)) return -1;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return -1;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buf(size);
  int state = -1;
  if (GetTokenInformation(token, TokenPrivileges, buf.data(), size, &size)) {
    auto* p = reinterpret_cast<TOKEN_PRIVILEGES*>(buf.data());
    for (DWORD i = 0; i < p->PrivilegeCount; ++i)
      if (p->Privileges[i].Luid.LowPart == luid.LowPart && p->Privileges[i].Luid.HighPart == luid.HighPart)
        state = (p->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
  }
  CloseHandle(token);
  return state;
}

struct ExitCall {
  int calls = 0;
  UINT flags = 0;
  DWORD reason = 0;
  int privilege = -2;
  BOOL answer = TRUE;
};
ExitCall g_exit;

BOOL WINAPI FakeExitWindows(UINT flags, DWORD reason) {
  ++g_exit.calls;
  g_exit.flags = flags;
  g_exit.reason = reason;
  g_exit.privilege = PrivilegeState(SE_SHUTDOWN_NAME);
  return g_exit.answer;
}

}  // namespace

TEST(Privileges, EnableAndDisableAHeldPrivilege) {
  ASSERT_NE(PrivilegeState(SE_SHUTDOWN_NAME), -1);
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege('SeShutdownPrivilege', true)"), L"true");
  EXPECT_EQ(PrivilegeState(SE_SHUTDOWN_NAME), 1);
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege('SeShutdownPrivilege', false)"), L"true");
  EXPECT_EQ(PrivilegeState(SE_SHUTDOWN_NAME), 0);
  // Read from the top: name second to last, flag last.
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege('ignored', 'SeShutdownPrivilege', 1)"), L"true");
  EXPECT_EQ(PrivilegeState(SE_SHUTDOWN_NAME), 1);
  // Only the name: read as "disable".
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege('SeShutdownPrivilege')"), L"true");
  EXPECT_EQ(PrivilegeState(SE_SHUTDOWN_NAME), 0);
}

TEST(Privileges, APrivilegeTheAccountLacksStillGivesTrue) {
  // Wine's token does not hold every privilege; find one it lacks.
  const wchar_t* lacking = nullptr;
  for (const wchar_t* name : {SE_CREATE_TOKEN_NAME, SE_TCB_NAME, SE_RELABEL_NAME, SE_TRUSTED_CREDMAN_ACCESS_NAME,
                              SE_ENABLE_DELEGATION_NAME})
    if (PrivilegeState(name) == -1) lacking = name;
  if (!lacking) lacking = SE_CREATE_TOKEN_NAME;
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege(" + Lit(lacking) + ", true)"), L"true") << harness::ToUtf8(lacking);
}

TEST(Privileges, AnUnknownPrivilegeNameIsFalse) {
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege('SeNoSuchPrivilege', true)"), L"false");
  EXPECT_EQ(Eval("r = Lua_EnablePrivilege()"), L"false");
  ScriptRun run = RunScript("r = Lua_EnablePrivilege('SeNoSuchPrivilege', true)");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Contains(L"LookupPrivilegeValue failed!")) << "failure triple";
}

TEST(Privileges, ExitWindowsEnablesTheShutdownPrivilegeFirst) {
  ASSERT_TRUE(brix::ProcessToolHelp::EnableTokenPrivilege(SE_SHUTDOWN_NAME, false));
  g_exit = ExitCall();
  EXPECT_TRUE(brix::ExitWindowsWithPrivilege(EWX_LOGOFF | EWX_FORCEIFHUNG, 0x80020003u, FakeExitWindows));
  EXPECT_EQ(g_exit.calls, 1);
  EXPECT_EQ(g_exit.flags, static_cast<UINT>(EWX_LOGOFF | EWX_FORCEIFHUNG));
  EXPECT_EQ(g_exit.reason, 0x80020003u);
  EXPECT_EQ(g_exit.privilege, 1);

  g_exit.answer = FALSE;
  EXPECT_FALSE(brix::ExitWindowsWithPrivilege(EWX_REBOOT, 0, FakeExitWindows));
}
