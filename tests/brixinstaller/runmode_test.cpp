// Run-mode decisions on a plain script state, without a packed installer.
#include "runmode.h"

#include <gtest/gtest.h>

#include "lauxlib.h"
#include "scriptglobals.h"

using brix::CommandLineMap;

namespace {

class RunMode : public ::testing::Test {
 protected:
  void SetUp() override { L = luaL_newstate(); }
  void TearDown() override { lua_close(L); }
  void Run(const char* chunk) { ASSERT_EQ(luaL_dostring(L, chunk), 0) << lua_tostring(L, -1); }
  static CommandLineMap Args(const wchar_t* options) {
    return CommandLineMap::Build(std::wstring(L"\"C:\\dl\\setup.exe\" ") + options);
  }
  lua_State* L = nullptr;
};

TEST_F(RunMode, SilentOnlyByExactTrueOrByTheScriptWhenAllowed) {
  EXPECT_FALSE(brix::DecideSilent(L, Args(L"")));
  EXPECT_TRUE(brix::DecideSilent(L, Args(L"/InstallSlience true")));
  EXPECT_FALSE(brix::DecideSilent(L, Args(L"/InstallSlience TRUE")));
  EXPECT_FALSE(brix::DecideSilent(L, Args(L"/InstallSlience 1")));
  EXPECT_FALSE(brix::DecideSilent(L, Args(L"/InstallSilence true")));

  Run("global_ss_install = true");
  EXPECT_FALSE(brix::DecideSilent(L, Args(L""))) << "the script may not ask unless allowed";
  Run("global_enable_ss_install = true");
  EXPECT_TRUE(brix::DecideSilent(L, Args(L"")));
  Run("global_ss_install = false");
  EXPECT_FALSE(brix::DecideSilent(L, Args(L"")));
  EXPECT_TRUE(brix::DecideSilent(L, Args(L"/InstallSlience true")));
}

TEST_F(RunMode, AnyInstallSlienceLetsASecondInstallerRun) {
  EXPECT_TRUE(brix::MayRunAlongside(Args(L"/InstallSlience")));
  EXPECT_TRUE(brix::MayRunAlongside(Args(L"/InstallSlience no")));
  EXPECT_FALSE(brix::MayRunAlongside(Args(L"/InstallPath D:\\Apps")));
}

TEST_F(RunMode, InstallPathGetsTheProductFolderOnce) {
  const auto path = [&](const wchar_t* options) {
    Run("global_install_path = 'unchanged'");
    brix::ApplyCommandLineOverrides(L, Args(options));
    return brix::ReadGlobalText(L, "global_install_path");
  };
  EXPECT_EQ(path(L"/InstallPath D:\\Apps"), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path(L"/InstallPath D:\\Apps\\"), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path(L"/InstallPath D:\\Apps\\Quillon"), L"D:\\Apps\\Quillon");
  EXPECT_EQ(path(L"/InstallPath D:\\Apps\\quillon"), L"D:\\Apps\\quillon\\Quillon");
  EXPECT_EQ(path(L"/InstallPath \"D:\\My Apps\""), L"D:\\My Apps\\Quillon");
  EXPECT_EQ(path(L"/InstallPath"), L"unchanged");
  EXPECT_EQ(path(L""), L"unchanged");
}

TEST_F(RunMode, StartWithWindowsOnlyForTheNumberOne) {
  const auto flag = [&](const wchar_t* options) {
    Run("ShouldStartWithWindowsChk = false");
    brix::ApplyCommandLineOverrides(L, Args(options));
    return brix::ReadGlobalFlag(L, "ShouldStartWithWindowsChk");
  };
  EXPECT_TRUE(flag(L"/InstallNormalQuillon 1"));
  EXPECT_TRUE(flag(L"/InstallNormalQuillon 01"));
  EXPECT_FALSE(flag(L"/InstallNormalQuillon 0"));
  EXPECT_FALSE(flag(L"/InstallNormalQuillon 2"));
  EXPECT_FALSE(flag(L"/InstallNormalQuillon yes"));
}

TEST_F(RunMode, SingleInstanceNameFromTheConfiguration) {
  auto name = brix::ChooseSingleInstanceName(L);
  EXPECT_EQ(name.baseName, L"Global\\{1CF5C34D-F0D8-4507-8600-70E64159BB61}");
  EXPECT_EQ(name.appId, 0);

  Run("global_app_id = '145'");  // a numeric text reads as the number
  EXPECT_EQ(brix::ChooseSingleInstanceName(L).appId, 145);
  Run("global_app_id = 'abc'");
  EXPECT_EQ(brix::ChooseSingleInstanceName(L).appId, 0);

  Run("global_app_id = 145; global_install_mutex_guid = 'Global\\\\Own'");
  name = brix::ChooseSingleInstanceName(L);
  EXPECT_EQ(name.baseName, L"Global\\Own");
  EXPECT_EQ(name.appId, 0) << "a name of the configuration's own carries no id";
}

TEST_F(RunMode, ListenWindowIsAnUnsignedDecimal) {
  EXPECT_EQ(brix::ListenWindowFrom(Args(L"")), nullptr);
  EXPECT_EQ(brix::ListenWindowFrom(Args(L"/InstallListenWnd 0")), nullptr);
  EXPECT_EQ(brix::ListenWindowFrom(Args(L"/InstallListenWnd abc")), nullptr);
  EXPECT_EQ(brix::ListenWindowFrom(Args(L"/InstallListenWnd 1234x")), reinterpret_cast<HWND>(1234));
}

}  // namespace
