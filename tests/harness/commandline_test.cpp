// Command lines and environment blocks the harness builds for its programs.
#include "childrun.h"

#include <shellapi.h>

namespace {

std::vector<std::wstring> Split(const std::wstring& line) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(line.c_str(), &argc);
  std::vector<std::wstring> out(argv, argv + argc);
  LocalFree(argv);
  return out;
}

TEST(HarnessCommandLine, PlainArgumentsStayBare) {
  EXPECT_EQ(harness::QuoteArgument(L"trace-wide"), L"trace-wide");
  EXPECT_EQ(harness::QuoteArgument(L"C:\\dir\\a.exe"), L"C:\\dir\\a.exe");
  EXPECT_EQ(harness::BuildCommandLine({L"a.exe", L"/InstallListenWnd", L"123"}), L"a.exe /InstallListenWnd 123");
}

TEST(HarnessCommandLine, SplitsBackIntoTheSameArguments) {
  const std::vector<std::wstring> args = {L"C:\\Program Files\\x.exe", L"", L"two words", L"tab\there",
                                          L"q\"uote", L"\\\\server\\share\\", L"end\\\\", L"\x4E2D\x6587 \x6D4B",
                                          L"line\r\nbreak", L"\"", L"\\\"\\"};
  EXPECT_EQ(Split(harness::BuildCommandLine(args)), args);
}

TEST(HarnessEnvironment, SetsNewAndReplacesExistingNamesIgnoringCase) {
  SetEnvironmentVariableW(L"QUILL_HARNESS_PROBE", L"old");
  std::wstring block = harness::MergedEnvironmentBlock({{L"quill_harness_probe", L"new"}, {L"QH_FRESH", L"1"}});
  SetEnvironmentVariableW(L"QUILL_HARNESS_PROBE", nullptr);

  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(block.substr(block.size() - 2), std::wstring(2, L'\0'));
  std::vector<std::wstring> entries;
  for (const wchar_t* p = block.c_str(); *p; p += wcslen(p) + 1) entries.push_back(p);
  int probes = 0;
  bool fresh = false, path = false;
  for (const auto& e : entries) {
    if (_wcsnicmp(e.c_str(), L"quill_harness_probe=", 20) == 0) {
      ++probes;
      EXPECT_EQ(e, L"quill_harness_probe=new");
    }
    fresh |= e == L"QH_FRESH=1";
    path |= _wcsnicmp(e.c_str(), L"PATH=", 5) == 0;
  }
  EXPECT_EQ(probes, 1);
  EXPECT_TRUE(fresh);
  EXPECT_TRUE(path) << "the rest of the environment is kept";
}

TEST(HarnessStart, MissingProgramIsReportedNotRun) {
  harness::RunOptions o;
  o.commandLine = harness::BuildCommandLine({testsupport::BinPath(L"no_such_program.exe")});
  harness::RunResult r = harness::Run(o);
  EXPECT_FALSE(r.started);
  EXPECT_EQ(r.startError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(r.traces.empty());
}

TEST(HarnessStart, WorkingFolderAndEnvironmentReachTheProgram) {
  // Quillon.exe records its current folder; QUILL_RECORD tells it where.
  std::wstring dir = testsupport::MakeTempDir(L"hcwd");
  std::wstring exe = harnesstest::CopyProductTo(dir);
  ASSERT_FALSE(exe.empty());
  std::wstring record = dir + L"\\record.txt";
  harness::RunOptions o;
  o.commandLine = harness::BuildCommandLine({exe});
  o.workingDir = dir;
  o.environment = {{L"QUILL_RECORD", record}};
  harness::RunResult r = harness::Run(o);
  ASSERT_TRUE(r.started);
  auto starts = harness::ReadProductStarts(record);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(_wcsicmp(starts[0].currentDir.c_str(), dir.c_str()), 0) << starts[0].currentDir;
  testsupport::RemoveTree(dir);
}

}  // namespace
