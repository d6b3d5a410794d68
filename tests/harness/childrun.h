#pragma once
// Shared by the harness tests: running harness_child.exe and knowing whether
// windows can be shown at all.
#include <gtest/gtest.h>

#include "harness.h"
#include "testpaths.h"

namespace harnesstest {

inline std::wstring ChildPath() { return testsupport::BinPath(L"harness_child.exe"); }

// harness_child.exe with the given commands.
inline harness::RunResult RunChild(std::vector<std::wstring> commands, harness::RunOptions options = {}) {
  commands.insert(commands.begin(), ChildPath());
  options.commandLine = harness::BuildCommandLine(commands);
  return harness::Run(options);
}

// A copy of the stand-in product in its own folder, so its started.txt
// belongs to one test.
inline std::wstring CopyProductTo(const std::wstring& dir) {
  std::wstring exe = dir + L"\\Quillon.exe";
  return CopyFileW(testsupport::BinPath(L"Quillon.exe").c_str(), exe.c_str(), FALSE) ? exe : std::wstring();
}

// Wine creates no window without an X display.
inline bool HaveDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

}  // namespace harnesstest

#define REQUIRE_DISPLAY()                                                                         \
  do {                                                                                            \
    if (!::harnesstest::HaveDisplay())                                                            \
      GTEST_SKIP() << "needs an X display: source scripts/display.sh; start_display";             \
  } while (0)
