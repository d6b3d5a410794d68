// An unattended silent install always ends: nothing it waits for may hold
// it for ever. Slow by nature (they wait out the bounds), so they run beside
// the other installer tests rather than in their queue.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "installer.h"

using it::CopyInstaller;
using it::Hooks;
using it::Lines;
using it::RunInstaller;

namespace {

std::vector<std::wstring> Silent(std::vector<std::wstring> extra) {
  std::vector<std::wstring> a{L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(), L"/TestDirect",
                              L"1"};
  a.insert(a.end(), extra.begin(), extra.end());
  return a;
}

bool HasLineStarting(const harness::RunResult& r, const std::wstring& start) {
  for (const auto& l : Lines(r))
    if (l.compare(0, start.size(), start) == 0) return true;
  return false;
}

TEST(Unattended, AScriptErrorBoxNobodyAnswersClosesItselfAfterAMinute) {
  auto r = RunInstaller(CopyInstaller(L"spine_setup.exe"), Silent({L"/TestFail", L"OnInstall"}),
                        [](const harness::MessageBoxRecord&) { return 0; }, 120000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].pressed, 0) << "closed by the installer, not by the test";
  EXPECT_GE(r.elapsedMs, 55000u);
  EXPECT_EQ(Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeInstall", L"BrixSE_OnInstall"}));
}

TEST(Unattended, AHungListeningWindowIsAbandonedAfterABoundedWait) {
  harness::ListeningWindow listener;
  ASSERT_TRUE(listener.Handle()) << listener.CreateError();
  listener.Freeze();
  const auto handle = std::to_wstring(reinterpret_cast<ULONG_PTR>(listener.Handle()));
  auto r = RunInstaller(CopyInstaller(L"spine_setup.exe"), Silent({L"/InstallListenWnd", handle}), nullptr, 60000);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(Hooks(r).size(), 5u);
  EXPECT_TRUE(HasLineStarting(r, L"Install-finished notice to the listening window ")) << r.elapsedMs;
  EXPECT_LT(r.elapsedMs, 30000u);
}

}  // namespace
