#pragma once
// Shared by the process and shortcut tests: unique names, started test
// programs, polling, and snippets run in a separate process whose trace
// lines the harness collects.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"
#include "scripttest.h"
#include "testpaths.h"

namespace systest {

using scripttest::Eval;
using scripttest::Lit;

inline std::wstring Unique(const std::wstring& tag) {
  static unsigned counter = 0;
  return tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++);
}

inline std::string Num(unsigned long long n) { return std::to_string(n); }

// Polls with short waits; the timeout only guards against a hang.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

inline std::wstring ReadText(const std::wstring& path) {
  return harness::FromUtf8(testsupport::ReadFileBytes(path));
}

// A program started by the test; terminated at the end if still running.
class Child {
 public:
  Child(const std::wstring& exe, const std::vector<std::wstring>& args) {
    std::vector<std::wstring> all{exe};
    all.insert(all.end(), args.begin(), args.end());
    std::wstring line = harness::BuildCommandLine(all);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      process_ = pi.hProcess;
      id_ = pi.dwProcessId;
    }
  }
  ~Child() { Close(); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return process_ != nullptr; }
  DWORD Id() const { return id_; }
  bool Running() const { return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
  bool WaitExit(DWORD ms = 20000) const { return process_ && WaitForSingleObject(process_, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
  }
  // Drops the handle: the process object goes away once it has ended.
  void Close() {
    if (!process_) return;
    if (Running()) TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
    process_ = nullptr;
  }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// A snippet run in scriptrunner.exe: the trace lines without the "tr "
// marker and the line end, and the global r as text.
struct ScriptRun {
  std::wstring result;
  std::vector<std::wstring> lines;
  bool Has(const std::wstring& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  bool Contains(const std::wstring& part) const {
    for (const auto& l : lines)
      if (l.find(part) != std::wstring::npos) return true;
    return false;
  }
};

// `runner`: a copy of scriptrunner.exe to use instead (for a unique image name).
inline ScriptRun RunScript(const std::string& code, const std::wstring& runner = L"") {
  harness::RunOptions options;
  options.commandLine = harness::BuildCommandLine(
      {runner.empty() ? testsupport::BinPath(L"scriptrunner.exe") : runner, harness::FromUtf8(code)});
  options.timeoutMs = 90000;
  harness::RunResult r = harness::Run(options);
  ScriptRun out;
  EXPECT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u) << code;
  for (std::wstring line : r.traces) {
    if (line.rfind(L"tr ", 0) == 0) line.erase(0, 3);
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    if (line.rfind(L"result:", 0) == 0)
      out.result = line.substr(7);
    else
      out.lines.push_back(line);
  }
  return out;
}

inline bool HaveDisplay() { return GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) > 0; }

}  // namespace systest

// Wine creates no window without an X display.
#define SYSTEST_REQUIRE_DISPLAY()                                                      \
  do {                                                                                 \
    if (!::systest::HaveDisplay())                                                     \
      GTEST_SKIP() << "needs an X display: source scripts/display.sh; start_display"; \
  } while (0)
