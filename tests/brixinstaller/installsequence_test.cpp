// The step order of silent mode and the state lock's rules, driven on the
// process's own script engine with effects that only record.
#include "installsequence.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "brixscriptengine.h"
#include "installmgr.h"
#include "scriptglobals.h"
#include "strconv.h"
#include "tamstatmodule.h"

namespace {

std::vector<std::wstring> g_events;

int Record(lua_State* L) {
  g_events.push_back(brix::Utf8ToWide(lua_tostring(L, 1)));
  return 0;
}

class RecordingEffects : public brix::InstallEffects {
 public:
  void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                    bool shellLevel) override {
    g_events.push_back(L"start " + folder + L"\\" + program + L" [" + parameters + L"]" +
                       (shellLevel ? L" shell" : L" direct"));
  }
  void EndStatistics() override { g_events.push_back(L"end statistics"); }
  void NotifyListener() override { g_events.push_back(L"notify listener"); }
  void EndComSession() override { g_events.push_back(L"end COM"); }
  void DeleteAtRestart(const std::wstring& path) override { g_events.push_back(L"delete at restart " + path); }
  void ReportAction(int action) override { g_events.push_back(L"action " + std::to_wstring(action)); }
};

class Sequence : public ::testing::Test {
 protected:
  void SetUp() override {
    g_events.clear();
    lua_register(engine.GetState(), "Record", Record);
  }
  void TearDown() override { brix::TamStatModule::Instance()->Uninit(); }
  void Load(const std::string& chunk) {
    ASSERT_TRUE(engine.DoBufferLua(chunk.data(), chunk.size(), "=test"));
  }
  brix::BrixScriptEngine& engine = brix::BrixScriptEngine::Instance();
};

TEST_F(Sequence, SilentModeRunsEveryStepInItsOrder) {
  Load(R"(
    global_install_path = "C:\\Before"
    global_main_app_name = "Quillon.exe"
    global_start_parameter = "-x"
    global_startuseexplorer_level = true
    function BrixSE_BeforeInstall()
      Record("BeforeInstall InstallPath=" .. InstallPath .. " ss=" .. tostring(global_ss_install))
    end
    function BrixSE_OnInstall()
      Record("OnInstall")
      global_install_path = "C:\\Changed"  -- too late for the product start
    end
    function BrixSE_BeforeComplete() Record("BeforeComplete") end
    function BrixSE_AfterComplete() Record("AfterComplete") end
  )");
  RecordingEffects effects;
  brix::InstallSequence sequence(engine, brix::CInstallMgr::Instance(), effects);
  sequence.RunSilent(L"T:\\QuillClientInstall.log", L"D:\\dl\\setup.exe");

  const std::vector<std::wstring> expected = {
      L"BeforeInstall InstallPath=C:\\Before ss=true",
      L"OnInstall",
      L"BeforeComplete",
      L"start C:\\Before\\Quillon.exe [-x] shell",
      L"AfterComplete",
      L"end statistics",
      L"notify listener",
      L"end COM",
      L"delete at restart T:\\QuillClientInstall.log",
      L"delete at restart D:\\dl\\setup.exe",
  };
  EXPECT_EQ(g_events, expected);
}

TEST_F(Sequence, MissingHooksAreSkippedAndTheProductStartReadsItsGlobalsLate) {
  Load(R"(
    BrixSE_BeforeInstall = nil; BrixSE_OnInstall = {}; BrixSE_BeforeComplete = nil; BrixSE_AfterComplete = nil
    global_main_app_name = "First.exe"; global_start_parameter = nil; global_startuseexplorer_level = false
  )");
  RecordingEffects effects;
  brix::InstallSequence sequence(engine, brix::CInstallMgr::Instance(), effects);
  const int top = lua_gettop(engine.GetState());
  sequence.InstallFiles();
  Load("global_main_app_name = 'Second.exe'");
  sequence.StartProductFrom(L"C:\\P");
  EXPECT_EQ(lua_gettop(engine.GetState()), top);
  EXPECT_EQ(g_events, std::vector<std::wstring>{L"start C:\\P\\Second.exe [] direct"});
}

// A hook holds the state for its whole step: another thread's try fails, a
// nested try on the hook's own thread succeeds.
int TryFromOtherThread(lua_State* L) {
  bool other = true;
  std::thread([&] { other = brix::BrixScriptEngine::Instance().TryLockState().owns_lock(); }).join();
  const bool own = brix::BrixScriptEngine::Instance().TryLockState().owns_lock();
  g_events.push_back(std::wstring(L"other ") + (other ? L"got it" : L"skipped") + L", own " +
                     (own ? L"got it" : L"skipped"));
  return 0;
}

TEST_F(Sequence, AStepHoldsTheStateLockAgainstOtherThreads) {
  lua_register(engine.GetState(), "TryFromOtherThread", TryFromOtherThread);
  Load("function BrixSE_OnInstall() TryFromOtherThread() end");
  brix::CInstallMgr::Instance().InstallExecute();
  EXPECT_EQ(g_events, std::vector<std::wstring>{L"other skipped, own got it"});

  bool afterwards = false;
  std::thread([&] { afterwards = engine.TryLockState().owns_lock(); }).join();
  EXPECT_TRUE(afterwards) << "the lock is given back when the step ends";
}

}  // namespace
