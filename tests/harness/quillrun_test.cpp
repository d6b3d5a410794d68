// quillrun.exe, run under the harness itself: its report on stdout and its
// exit code.
#include "childrun.h"

namespace {

harness::RunResult Quillrun(const std::vector<std::wstring>& args, DWORD timeoutMs = 60000) {
  std::vector<std::wstring> line = {testsupport::BinPath(L"quillrun.exe")};
  line.insert(line.end(), args.begin(), args.end());
  harness::RunOptions o;
  o.commandLine = harness::BuildCommandLine(line);
  o.captureOutput = true;
  o.timeoutMs = timeoutMs;
  return harness::Run(o);
}

TEST(HarnessQuillrun, ReportsTracesAsUtf8AndTheExitCode) {
  auto r = Quillrun({harnesstest::ChildPath(), L"trace-wide", L"tr \x4E2D\x6587\r\n", L"trace-narrow", L"plain\n",
                     L"trace-wide", L"no end", L"exit", L"0xC0000005"});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output,
            "trace: tr \xE4\xB8\xAD\xE6\x96\x87\n"
            "trace: plain\n"
            "trace: no end\n"
            "exit code: 3221225477\n");
}

TEST(HarnessQuillrun, ATimeoutEndsWithExitCodeOne) {
  auto r = Quillrun({L"--timeout", L"500", harnesstest::ChildPath(), L"sleep", L"600000"});
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_NE(r.output.find("timed out after 500 ms\n"), std::string::npos) << r.output;
}

TEST(HarnessQuillrun, ABadCommandLineEndsWithExitCodeTwo) {
  EXPECT_EQ(Quillrun({L"--press", L"sideways", harnesstest::ChildPath()}).exitCode, 2u);
  EXPECT_EQ(Quillrun({L"--bogus", harnesstest::ChildPath()}).exitCode, 2u);
  EXPECT_EQ(Quillrun({}).exitCode, 2u);
}

TEST(HarnessQuillrun, ReportsAndAnswersBoxes) {
  REQUIRE_DISPLAY();
  auto r = Quillrun({L"--press", L"cancel", L"--", harnesstest::ChildPath(), L"trace-wide", L"t", L"box",
                     L"\x6807\x9898", L"one\ntwo", std::to_wstring(MB_OKCANCEL)});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output,
            "trace: t\n"
            "box: \xE6\xA0\x87\xE9\xA2\x98\n"
            "  text: one\n"
            "  text: two\n"
            "  buttons: ok cancel\n"
            "  pressed: cancel\n"
            "exit code: 2\n");
}

TEST(HarnessQuillrun, ListenHandsTheProgramAWindowAndReportsItsMessages) {
  REQUIRE_DISPLAY();
  // harness_child answers /InstallListenWnd <hwnd> the way an installer does
  // at its end.
  auto r = Quillrun({L"--listen", harnesstest::ChildPath()});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output, "message: 3014 wparam 0 lparam 0\nexit code: 0\n");
}

}  // namespace
