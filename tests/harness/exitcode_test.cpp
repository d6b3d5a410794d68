// Exit codes, all 32 bits of them, and the timeout that ends a hung program.
#include "childrun.h"

namespace {

using harnesstest::RunChild;

struct ExitCase {
  std::vector<std::wstring> commands;
  DWORD expected;
};

void PrintTo(const ExitCase& c, std::ostream* os) {
  *os << harness::ToUtf8(harness::BuildCommandLine(c.commands)) << " -> " << c.expected;
}

class ExitCode : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ExitCode, IsReportedInFull) {
  auto r = RunChild(GetParam().commands);
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Harness, ExitCode,
    ::testing::Values(ExitCase{{}, 0u}, ExitCase{{L"exit", L"42"}, 42u}, ExitCase{{L"exit", L"0x2A"}, 42u},
                      ExitCase{{L"exit", L"0xC0000005"}, 0xC0000005u},
                      ExitCase{{L"exit", L"0xFFFFFFFF"}, 0xFFFFFFFFu}, ExitCase{{L"exit", L"256"}, 256u},
                      ExitCase{{L"crash"}, 0xC0000005u},
                      ExitCase{{L"trace-wide", L"x", L"exit", L"7", L"exit", L"8"}, 7u}),
    [](const ::testing::TestParamInfo<ExitCase>& i) {
      std::string name = "Case" + std::to_string(i.index);
      for (const auto& c : i.param.commands)
        for (wchar_t ch : c) name.push_back(iswalnum(ch) ? static_cast<char>(ch) : '_');
      return name;
    });

TEST(HarnessTimeout, KillsASleepingProgram) {
  harness::RunOptions o;
  o.timeoutMs = 1000;
  auto r = RunChild({L"trace-wide", L"going to sleep", L"sleep", L"600000", L"trace-wide", L"woke"}, o);
  ASSERT_TRUE(r.started);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(r.exitCode, harness::kTimeoutExitCode);
  EXPECT_EQ(r.traces, (std::vector<std::wstring>{L"going to sleep"}));
  // Gone for good, not left behind.
  HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, r.processId);
  if (p) {
    EXPECT_EQ(WaitForSingleObject(p, 0), WAIT_OBJECT_0);
    CloseHandle(p);
  }
}

TEST(HarnessTimeout, AProgramFloodingTracesIsStillStopped) {
  // Events keep coming, so the loop never idles: the clock must be watched
  // between events too.
  harness::RunOptions o;
  o.timeoutMs = 1000;
  auto r = RunChild({L"trace-flood", L"600000"}, o);
  EXPECT_TRUE(r.timedOut);
  EXPECT_EQ(r.exitCode, harness::kTimeoutExitCode);
  EXPECT_FALSE(r.traces.empty());
}

}  // namespace
