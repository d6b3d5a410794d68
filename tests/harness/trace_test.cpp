// Trace lines: every debugger output line of the program, in order and
// exactly as sent.
#include "childrun.h"

namespace {

using harnesstest::RunChild;

std::wstring Pattern(size_t n) {
  std::wstring s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<wchar_t>(L'A' + i % 26));
  return s;
}

TEST(HarnessTrace, WideAndNarrowLinesArriveInOrderAsSent) {
  std::vector<std::wstring> live;
  harness::RunOptions o;
  o.onTrace = [&](const std::wstring& line) { live.push_back(line); };
  auto r = RunChild({L"trace-wide", L"tr one\r\n", L"trace-narrow", L"  two  \n", L"trace-wide", L"", L"trace-narrow",
                     L"four"},
                    o);
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.traces, (std::vector<std::wstring>{L"tr one\r\n", L"  two  \n", L"", L"four"}));
  EXPECT_EQ(live, r.traces);
}

TEST(HarnessTrace, ChineseSurvivesUnderTheChineseLocale) {
  // Wine hands the text over in the ANSI code page; under zh_CN.UTF-8 that is
  // 936 in the child and, through winerun, in this process too.
  ASSERT_EQ(GetACP(), 936u) << "run the tests with LC_ALL=zh_CN.UTF-8 (winerun does)";
  const std::wstring text = L"tr \x5B89\x88C5\x5B8C\x6210\xFF1A\x4E2D\x6587\x6D4B\x8BD5\r\n";  // 安装完成：中文测试
  harness::RunOptions o;
  o.environment = {{L"LC_ALL", L"zh_CN.UTF-8"}};
  auto r = RunChild({L"trace-wide", text, L"trace-narrow", text}, o);
  ASSERT_EQ(r.traces.size(), 2u);
  EXPECT_EQ(r.traces[0], text);
  EXPECT_EQ(r.traces[1], text);
}

TEST(HarnessTrace, LinesLongerThanTheTraceBufferArriveWhole) {
  auto r = RunChild({L"trace-long", L"1025", L"trace-long", L"20000", L"trace-wide", L"after"});
  ASSERT_EQ(r.traces.size(), 3u);
  EXPECT_EQ(r.traces[0], Pattern(1025));
  EXPECT_EQ(r.traces[1], Pattern(20000));
  EXPECT_EQ(r.traces[2], L"after");
}

TEST(HarnessTrace, NarrowLineBeyondTheSixteenBitLengthArrivesWhole) {
  // The event's length field wraps at 65536: 70000 would read as 4464.
  auto r = RunChild({L"trace-long-narrow", L"70000"});
  ASSERT_EQ(r.traces.size(), 1u);
  EXPECT_EQ(r.traces[0].size(), 70000u);
  EXPECT_EQ(r.traces[0], Pattern(70000));
}

TEST(HarnessTrace, LinesBeforeACrashAreKept) {
  auto r = RunChild({L"trace-wide", L"before crash", L"crash"});
  EXPECT_EQ(r.traces, (std::vector<std::wstring>{L"before crash"}));
  EXPECT_EQ(r.exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
}

}  // namespace
