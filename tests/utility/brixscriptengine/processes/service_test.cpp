// Lua_SCM against a real service (svcfixture.exe) registered by the test.
#include <windows.h>

#include <gtest/gtest.h>

#include "functions/systemops.h"
#include "systest.h"

using namespace systest;

namespace {

class ServiceControl : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const auto& name : created_) Remove(name);
  }

  // A demand-start service running svcfixture.exe in `mode`.
  std::wstring Create(const std::wstring& mode) {
    const std::wstring name = Unique(L"QuillSvc_" + mode);
    const std::wstring binary = L"\"" + testsupport::BinPath(L"svcfixture.exe") + L"\" " + mode;
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    EXPECT_TRUE(scm) << GetLastError();
    SC_HANDLE svc = CreateServiceW(scm, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binary.c_str(), nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
    EXPECT_TRUE(svc) << GetLastError();
    if (svc) {
      created_.push_back(name);
      CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
    return name;
  }

  static SERVICE_STATUS_PROCESS Status(const std::wstring& name) {
    SERVICE_STATUS_PROCESS s = {};
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = OpenServiceW(scm, name.c_str(), SERVICE_QUERY_STATUS);
    DWORD needed = 0;
    if (svc) QueryServiceStatusEx(svc, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&s), sizeof s, &needed);
    if (svc) CloseServiceHandle(svc);
    CloseServiceHandle(scm);
    return s;
  }
  static DWORD State(const std::wstring& name) { return Status(name).dwCurrentState; }

  // Stops the service whatever state it is in (a pending one by ending its
  // process), then deletes it.
  static void Remove(const std::wstring& name) {
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = OpenServiceW(scm, name.c_str(), SERVICE_ALL_ACCESS);
    if (svc) {
      SERVICE_STATUS s = {};
      if (State(name) == SERVICE_RUNNING) ControlService(svc, SERVICE_CONTROL_STOP, &s);
      WaitUntil([&] { return State(name) == SERVICE_STOPPED; }, 5000);
      const DWORD pid = Status(name).dwProcessId;
      if (State(name) != SERVICE_STOPPED && pid) {
        HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (p) {
          TerminateProcess(p, 1);
          WaitForSingleObject(p, 5000);
          CloseHandle(p);
        }
        WaitUntil([&] { return State(name) == SERVICE_STOPPED; }, 10000);
      }
      DeleteService(svc);
      CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
  }

  std::vector<std::wstring> created_;
};

}  // namespace

TEST_F(ServiceControl, StartsAndStopsAService) {
  const std::wstring name = Create(L"run");
  ASSERT_EQ(State(name), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", 'start')"), L"true");
  EXPECT_EQ(State(name), static_cast<DWORD>(SERVICE_RUNNING));
  // Already running: no second start (which the system would refuse).
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", 'START')"), L"true");
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", 'stop')"), L"true");
  EXPECT_EQ(State(name), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", 'Stop')"), L"true");
}

TEST_F(ServiceControl, AServiceThatIsNotInstalledCountsAsControlled) {
  const std::string name = Lit(Unique(L"QuillNoSuchService"));
  EXPECT_EQ(Eval("r = Lua_SCM(" + name + ", 'start')"), L"true");
  EXPECT_EQ(Eval("r = Lua_SCM(" + name + ", 'restart')"), L"true");
}

TEST_F(ServiceControl, AnUnknownActionIsFalseAndTraced) {
  const std::wstring name = Create(L"run");
  ScriptRun run = RunScript("r = Lua_SCM(" + Lit(name) + ", 'restart')");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Unknow Error in fun:Lua_SCM"));
  EXPECT_TRUE(run.Contains(L" err:")) << "followed by the failure triple";
  EXPECT_EQ(State(name), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", '')"), L"false");
}

TEST_F(ServiceControl, AStartThatFallsBackToStoppedIsFalse) {
  const std::wstring name = Create(L"quit");
  // Without noticing the fall-back the call would poll until the limit: far
  // beyond the test's own timeout.
  brix::ServiceWaitLimits limits;
  limits.limitMs = 600000;
  EXPECT_FALSE(brix::ControlServiceAndWait(name, L"start", limits));
  EXPECT_EQ(State(name), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(Eval("r = Lua_SCM(" + Lit(name) + ", 'start')"), L"false");
}

TEST_F(ServiceControl, PollingEndsAtTheTimeLimit) {
  // Reports START_PENDING with a wait hint of 0 for ever.
  const std::wstring name = Create(L"pending");
  brix::ServiceWaitLimits limits;
  limits.limitMs = 800;
  EXPECT_FALSE(brix::ControlServiceAndWait(name, L"start", limits));
  EXPECT_EQ(State(name), static_cast<DWORD>(SERVICE_START_PENDING));
  // Still pending: a second call does not start it again, and ends the same way.
  EXPECT_FALSE(brix::ControlServiceAndWait(name, L"start", limits));
}
