// Starting programs: Lua_Exec (direct, waiting, at the shell's level, pin
// verbs), Lua_ExplorerExec and Lua_ShellExec.
#include <windows.h>

#include <gtest/gtest.h>

#include "systest.h"

using namespace systest;

namespace {

class ExecFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"exec");
    ASSERT_FALSE(dir_.empty());
    exe_ = dir_ + L"\\" + Unique(L"qexec") + L".exe";
    ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"proctarget.exe").c_str(), exe_.c_str(), FALSE));
  }
  void TearDown() override {
    // Let programs still writing into the folder finish first.
    WaitUntil([&] { return !TargetRunning(); }, 10000);
    testsupport::RemoveTree(dir_);
  }
  bool TargetRunning() { return Eval("r = Lua_GetProcessId(" + Lit(Name()) + ")") != L"-1"; }
  std::wstring Name() const { return exe_.substr(exe_.find_last_of(L'\\') + 1); }
  std::wstring Marker(const std::wstring& name) const { return dir_ + L"\\" + name; }
  // Commands for a start without arguments: explorer.exe passes none on.
  void CommandsFile(const std::wstring& commands) {
    ASSERT_TRUE(testsupport::WriteFileBytes(exe_ + L".args", harness::ToUtf8(commands)));
  }

  std::wstring dir_, exe_;
};

// A manual-reset event the started program waits for.
class Gate {
 public:
  Gate() : name_(Unique(L"QExecGate")), event_(CreateEventW(nullptr, TRUE, FALSE, name_.c_str())) {}
  ~Gate() {
    Open();
    CloseHandle(event_);
  }
  const std::wstring& Name() const { return name_; }
  void Open() { SetEvent(event_); }

 private:
  std::wstring name_;
  HANDLE event_;
};

}  // namespace

TEST_F(ExecFunctions, WaitModeReturnsOnlyAfterTheProgramHasExited) {
  const std::wstring marker = Marker(L"waited.txt");
  // The program writes the marker just before it exits.
  const std::wstring params = L"sleep 300 touch " + marker;
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(exe_) + ", '', " + Lit(params) + ", true)"), L"true");
  EXPECT_TRUE(testsupport::FileExists(marker));
}

TEST_F(ExecFunctions, ProgramsRunInTheirOwnFolder) {
  const std::wstring waited = Marker(L"cwd_wait.txt");
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(exe_) + ", nil, " + Lit(L"cwd " + waited) + ", true)"), L"true");
  EXPECT_EQ(ReadText(waited), dir_);

  const std::wstring direct = Marker(L"cwd_open.txt");
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(exe_) + ", 'open', " + Lit(L"cwd " + direct) + ")"), L"true");
  EXPECT_TRUE(WaitUntil([&] { return ReadText(direct) == dir_; })) << harness::ToUtf8(ReadText(direct));
}

TEST_F(ExecFunctions, ExpandsTheFileButNotTheParameters) {
  SetEnvironmentVariableW(L"QEXECDIR", dir_.c_str());
  const std::wstring marker = Marker(L"expanded.txt");
  const std::wstring name = Name();
  EXPECT_EQ(Eval("r = Lua_Exec('%QEXECDIR%\\\\" + harness::ToUtf8(name) + "', '', " +
                 Lit(L"touch %QEXECDIR%\\unexpanded.txt touch " + marker) + ", true)"),
            L"true");
  EXPECT_TRUE(testsupport::FileExists(marker));
  EXPECT_FALSE(testsupport::FileExists(Marker(L"unexpanded.txt")));
  SetEnvironmentVariableW(L"QEXECDIR", nullptr);
}

TEST_F(ExecFunctions, ShellLevelDoesNotWait) {
  Gate gate;
  const std::wstring marker = Marker(L"shell.txt");
  CommandsFile(L"waitevent " + gate.Name() + L" touch \"" + marker + L"\"");
  // The wait flag is set too: the shell-level launch comes first.
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(exe_) + ", '', '/from-script', true, true)"), L"true");
  // The program is held until the gate opens, so it cannot have written yet.
  EXPECT_FALSE(testsupport::FileExists(marker));
  gate.Open();
  EXPECT_TRUE(WaitUntil([&] { return testsupport::FileExists(marker); }, 30000));
}

TEST_F(ExecFunctions, MissingFile) {
  const std::string missing = Lit(dir_ + L"\\nothere.exe");
  // Nothing to unpin.
  EXPECT_EQ(Eval("r = Lua_Exec(" + missing + ", 'taskbarunpin')"), L"true");
  EXPECT_EQ(Eval("r = Lua_Exec(" + missing + ", 'StartUnpin')"), L"true");
  EXPECT_EQ(Eval("r = Lua_Exec(" + missing + ")"), L"false");
  EXPECT_EQ(Eval("r = Lua_Exec(" + missing + ", 'Taskbarpin')"), L"false");
  EXPECT_EQ(Eval("r = Lua_Exec(" + missing + ", '', '', true)"), L"false");
  EXPECT_EQ(Eval("r = Lua_Exec()"), L"false");

  ScriptRun run = RunScript("r = Lua_Exec(" + missing + ")");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Fun:Lua_Exec, Description:" + dir_ + L"\\nothere.exe it's not exists!"));
}

TEST_F(ExecFunctions, PinVerbsAreTrueWhateverTheShellSays) {
  // A text file: no program is started whatever the shell makes of the verb.
  const std::wstring text = Marker(L"pin.txt");
  ASSERT_TRUE(testsupport::WriteFileBytes(text, "x"));
  for (const char* verb : {"Taskbarpin", "taskbarUNPIN", "Startpin", "Startunpin"})
    EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(text) + ", '" + verb + "')"), L"true") << verb;
  // Any other verb the shell cannot carry out is false.
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(text) + ", 'NoSuchVerbAtAll')"), L"false");
}

TEST_F(ExecFunctions, AShellLaunchThatCannotStartIsFalse) {
  // Longer than any command line: the launch fails, and says so.
  const std::string tooLong = "string.rep('x', 40000)";
  EXPECT_EQ(Eval("r = Lua_Exec(" + Lit(exe_) + ", '', " + tooLong + ", false, true)"), L"false");
  EXPECT_EQ(Eval("r = Lua_ExplorerExec(" + Lit(exe_) + ", " + tooLong + ")"), L"false");
}

TEST_F(ExecFunctions, ExplorerExecStartsThroughTheShell) {
  Gate gate;
  const std::wstring marker = Marker(L"explorer.txt");
  CommandsFile(L"waitevent " + gate.Name() + L" touch \"" + marker + L"\"");
  EXPECT_EQ(Eval("r = Lua_ExplorerExec(" + Lit(exe_) + ", '')"), L"true");
  EXPECT_FALSE(testsupport::FileExists(marker));
  gate.Open();
  EXPECT_TRUE(WaitUntil([&] { return testsupport::FileExists(marker); }, 30000));
}

TEST_F(ExecFunctions, ShellExecOpensWithoutWaiting) {
  Gate gate;
  const std::wstring marker = Marker(L"shellexec.txt");
  EXPECT_EQ(Eval("r = Lua_ShellExec(" + Lit(exe_) + ", " + Lit(L"waitevent " + gate.Name() + L" touch " + marker) +
                 ")"),
            L"true");
  EXPECT_FALSE(testsupport::FileExists(marker));
  gate.Open();
  EXPECT_TRUE(WaitUntil([&] { return testsupport::FileExists(marker); }));
}

TEST_F(ExecFunctions, ShellExecOfAMissingFileIsFalseWithoutABox) {
  // The shell's error box would hold the call until someone answered it.
  EXPECT_EQ(Eval("r = Lua_ShellExec(" + Lit(dir_ + L"\\nothere.exe") + ")"), L"false");
}
