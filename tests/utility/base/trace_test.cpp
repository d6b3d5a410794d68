// Trace lines as a debugger receives them.
#include <gtest/gtest.h>

#include "harness.h"
#include "testpaths.h"

namespace {

std::vector<std::wstring> TraceOf(const std::vector<std::wstring>& args) {
  std::vector<std::wstring> all{testsupport::BinPath(L"tracechild.exe")};
  all.insert(all.end(), args.begin(), args.end());
  harness::RunOptions opt;
  opt.commandLine = harness::BuildCommandLine(all);
  auto r = harness::Run(opt);
  EXPECT_EQ(r.exitCode, 0u);
  return r.traces;
}

}  // namespace

TEST(Trace, FormatsWideRulesAfterTheMarker) {
  auto t = TraceOf({L"format"});
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0], L"tr 值=42 narrow\r\n");
}

TEST(Trace, HoldsExactly1020UnitsAndCutsLongerTexts) {
  auto fits = TraceOf({L"long", L"1020"});
  ASSERT_EQ(fits.size(), 1u);
  EXPECT_EQ(fits[0], L"tr " + std::wstring(1020, L'a'));
  auto cut = TraceOf({L"long", L"5000"});
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0], L"tr " + std::wstring(1020, L'a'));
}

TEST(Trace, FailureTripleCarriesFileLineAndTheCallersError) {
  auto t = TraceOf({L"triple", L"1813"});
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].rfind(L"tr LockResource failed.tr file:", 0), 0u) << harness::ToUtf8(t[0]);
  EXPECT_NE(t[0].find(L"tracechild.cpp\r\n"), std::wstring::npos);
  EXPECT_EQ(t[1].rfind(L"tr LockResource failed.tr line:", 0), 0u);
  EXPECT_EQ(t[1].substr(t[1].size() - 2), L"\r\n");
  EXPECT_EQ(t[2], L"tr LockResource failed.tr err:1813\r\n");
  EXPECT_EQ(t[3], L"tr after:1813");
}
