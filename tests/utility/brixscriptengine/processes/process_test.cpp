// Finding and ending processes: Lua_GetProcessId, Lua_TaskKill,
// Lua_KillAllTaskByName, Lua_GetImagePathByPid and the process tools.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>

#include "brixprocesstoolhelp.h"
#include "systest.h"

using namespace systest;
using brix::ProcessToolHelp;

namespace {

constexpr DWORD kClosedItself = 7;  // proctarget's normal exit code
constexpr DWORD kTerminated = 0;    // the exit code KillProcess terminates with
const std::wstring kSysClose = L"syscommand " + std::to_wstring(SC_CLOSE);

// Process ids with this image name, in snapshot order.
std::vector<DWORD> SnapshotOrder(const std::wstring& name) {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W e = {};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
    if (lstrcmpiW(e.szExeFile, name.c_str()) == 0) ids.push_back(e.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

std::vector<DWORD> ParseIds(const std::wstring& list) {
  std::vector<DWORD> ids;
  std::wstringstream in(list);
  std::wstring item;
  while (std::getline(in, item, L',')) ids.push_back(static_cast<DWORD>(std::stoll(item)));
  return ids;
}

std::wstring OwnPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return self;
}

class ProcessFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"proc");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    children_.clear();
    testsupport::RemoveTree(dir_);
  }
  // proctarget.exe under a name of this test's own.
  std::wstring CopyTarget(const std::wstring& name) {
    const std::wstring exe = dir_ + L"\\" + name;
    EXPECT_TRUE(CopyFileW(testsupport::BinPath(L"proctarget.exe").c_str(), exe.c_str(), FALSE));
    return exe;
  }
  Child& Start(const std::wstring& exe, const std::vector<std::wstring>& args) {
    children_.push_back(std::make_unique<Child>(exe, args));
    EXPECT_TRUE(children_.back()->Started());
    return *children_.back();
  }
  // A copy that owns a window of class `cls` and logs to `log`; returns once
  // the window exists.
  Child& StartWindowOwner(const std::wstring& exe, const std::wstring& cls, const std::wstring& mode,
                          const std::wstring& log) {
    Child& c = Start(exe, {L"log", log, L"window", cls, mode, L"loop"});
    EXPECT_TRUE(WaitUntil([&] { return FindWindowW(cls.c_str(), nullptr) != nullptr; })) << harness::ToUtf8(cls);
    return c;
  }
  std::wstring dir_;
  std::vector<std::unique_ptr<Child>> children_;
};

}  // namespace

// --- Lua_GetProcessId ------------------------------------------------------

TEST_F(ProcessFunctions, GetProcessIdReturnsEveryMatchInSnapshotOrder) {
  const std::wstring name = Unique(L"qpid") + L".exe";
  const std::wstring exe = CopyTarget(name);
  std::vector<DWORD> started;
  for (int i = 0; i < 3; ++i) started.push_back(Start(exe, {L"loop"}).Id());

  const std::wstring got = Eval("r = table.concat({Lua_GetProcessId(" + Lit(name) + ")}, ',')");
  const std::vector<DWORD> ids = ParseIds(got);
  EXPECT_EQ(ids, SnapshotOrder(name)) << harness::ToUtf8(got);
  std::vector<DWORD> sortedIds = ids, sortedStarted = started;
  std::sort(sortedIds.begin(), sortedIds.end());
  std::sort(sortedStarted.begin(), sortedStarted.end());
  EXPECT_EQ(sortedIds, sortedStarted);

  // Names compare without case; the name is the last argument.
  std::wstring upper = name;
  CharUpperW(&upper[0]);
  EXPECT_EQ(Eval("r = select('#', Lua_GetProcessId(" + Lit(upper) + "))"), L"3");
  EXPECT_EQ(Eval("r = select('#', Lua_GetProcessId('other.exe', " + Lit(name) + "))"), L"3");
}

TEST_F(ProcessFunctions, GetProcessIdWithoutMatchIsMinusOne) {
  EXPECT_EQ(Eval("r = table.concat({Lua_GetProcessId('no_such_image_here.exe')}, ',')"), L"-1");
  EXPECT_EQ(Eval("r = table.concat({Lua_GetProcessId()}, ',')"), L"-1");
  // The whole image name, not a part of it.
  const std::wstring self = OwnPath().substr(OwnPath().find_last_of(L'\\') + 1);
  EXPECT_EQ(Eval("r = Lua_GetProcessId(" + Lit(self.substr(0, self.size() - 4)) + ")"), L"-1");
  // Other copies of this test program may run beside it: this one is among
  // the matches.
  EXPECT_EQ(Eval("r = false for _, p in ipairs({Lua_GetProcessId(" + Lit(self) + ")}) do r = r or p == " +
                 std::to_string(GetCurrentProcessId()) + " end"),
            L"true");
}

// --- Lua_KillAllTaskByName / Lua_TaskKill ----------------------------------

TEST_F(ProcessFunctions, KillAllTaskByNameEndsOnlyTheFirstMatch) {
  SYSTEST_REQUIRE_DISPLAY();
  const std::wstring name = Unique(L"qkill") + L".exe";
  const std::wstring exe = CopyTarget(name);
  Child& a = StartWindowOwner(exe, Unique(L"QKillA"), L"close", dir_ + L"\\a.log");
  Child& b = StartWindowOwner(exe, Unique(L"QKillB"), L"close", dir_ + L"\\b.log");
  const std::vector<DWORD> order = SnapshotOrder(name);
  ASSERT_EQ(order.size(), 2u);
  Child& first = order[0] == a.Id() ? a : b;
  Child& second = order[0] == a.Id() ? b : a;

  EXPECT_EQ(Eval("r = Lua_KillAllTaskByName(" + Lit(name) + ")"), L"true");
  ASSERT_TRUE(first.WaitExit(0)) << "true means the process has ended";
  EXPECT_EQ(first.ExitCode(), kClosedItself) << "it closed on the posted messages";
  EXPECT_TRUE(second.Running());

  EXPECT_EQ(Eval("r = Lua_KillAllTaskByName(" + Lit(name) + ")"), L"true");
  EXPECT_TRUE(second.WaitExit(0));
  EXPECT_EQ(Eval("r = Lua_KillAllTaskByName(" + Lit(name) + ")"), L"true") << "none left";
}

TEST_F(ProcessFunctions, KillProcessClosesWindowsThenEndsTheProcess) {
  SYSTEST_REQUIRE_DISPLAY();
  const std::wstring exe = CopyTarget(Unique(L"qclose") + L".exe");
  const std::wstring log = dir_ + L"\\close.log";
  Child& c = StartWindowOwner(exe, Unique(L"QClose"), L"close", log);
  ProcessToolHelp tools;
  EXPECT_TRUE(tools.KillProcess(c.Id()));
  ASSERT_TRUE(c.WaitExit(0));
  EXPECT_EQ(c.ExitCode(), kClosedItself);
  // SC_CLOSE turns into WM_CLOSE in the window itself.
  EXPECT_EQ(ReadText(log), L"start\n" + kSysClose + L"\nclose\nexit\n");
}

TEST_F(ProcessFunctions, KillProcessTerminatesAProgramThatRefusesToClose) {
  SYSTEST_REQUIRE_DISPLAY();
  const std::wstring exe = CopyTarget(Unique(L"qstubborn") + L".exe");
  const std::wstring log = dir_ + L"\\stubborn.log";
  Child& c = StartWindowOwner(exe, Unique(L"QStubborn"), L"ignore", log);
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + Num(c.Id()) + ")"), L"true");
  ASSERT_TRUE(c.WaitExit(0));
  EXPECT_EQ(c.ExitCode(), kTerminated);
  // Both requests reached the window; it never got to its own end.
  EXPECT_EQ(ReadText(log), L"start\n" + kSysClose + L"\nclose\n");
}

TEST_F(ProcessFunctions, TaskKillWindowStepPostsToTheClassWindow) {
  SYSTEST_REQUIRE_DISPLAY();
  const std::wstring exe = CopyTarget(Unique(L"qwnd") + L".exe");
  const std::wstring cls = Unique(L"QWndStep");
  const std::wstring log = dir_ + L"\\wnd.log";
  Child& c = StartWindowOwner(exe, cls, L"ignore", log);
  const std::string none = Lit(Unique(L"no_such_image") + L".exe");

  // No process has the image name: true, and the window only got the message.
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + none + ", " + Lit(cls) + ")"), L"true");
  EXPECT_TRUE(WaitUntil([&] { return ReadText(log) == L"start\n" + kSysClose + L"\n"; })) << harness::ToUtf8(ReadText(log));
  EXPECT_TRUE(c.Running());

  // A message of the script's own, and nil falling back to SC_CLOSE.
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + none + ", " + Lit(cls) + ", 0x0400 + 7, 11, 22)"), L"true");
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + none + ", " + Lit(cls) + ", nil, 5, 6)"), L"true");
  const std::wstring expected = L"start\n" + kSysClose + L"\nmsg 1031 11 22\n" + kSysClose + L"\n";
  EXPECT_TRUE(WaitUntil([&] { return ReadText(log) == expected; })) << harness::ToUtf8(ReadText(log));

  // A class without a window: nothing to post to, still true.
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + none + ", " + Lit(Unique(L"QNoWindow")) + ")"), L"true");
}

TEST_F(ProcessFunctions, TaskKillWithIdAndClassPostsFirstThenEnds) {
  SYSTEST_REQUIRE_DISPLAY();
  const std::wstring exe = CopyTarget(Unique(L"qboth") + L".exe");
  const std::wstring cls = Unique(L"QBoth");
  const std::wstring log = dir_ + L"\\both.log";
  Child& c = StartWindowOwner(exe, cls, L"ignore", log);
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + Num(c.Id()) + ", " + Lit(cls) + ")"), L"true");
  ASSERT_TRUE(c.WaitExit(0));
  // The window step's SC_CLOSE, then KillProcess's SC_CLOSE and WM_CLOSE.
  EXPECT_EQ(ReadText(log), L"start\n" + kSysClose + L"\n" + kSysClose + L"\nclose\n");

  // The id may come as a numeric text.
  Child& d = StartWindowOwner(exe, Unique(L"QBothText"), L"close", dir_ + L"\\text.log");
  EXPECT_EQ(Eval("r = Lua_TaskKill('" + Num(d.Id()) + "')"), L"true");
  EXPECT_TRUE(d.WaitExit(0));
}

TEST_F(ProcessFunctions, AProcessThatHasJustExitedCountsAsEnded) {
  const std::wstring exe = CopyTarget(Unique(L"qgone") + L".exe");
  Child& c = Start(exe, {});
  ASSERT_TRUE(c.WaitExit());
  const std::string id = Num(c.Id());
  // Still held open by the test: the process object exists but has ended.
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + id + ")"), L"true");
  EXPECT_EQ(Eval("r = Lua_KillAllTaskByName(" + id + ")"), L"true");
  // Not asked again once released: the id may then name another new process.
  c.Close();
  EXPECT_EQ(Eval("r = Lua_TaskKill(-1)"), L"true");
  EXPECT_EQ(Eval("r = Lua_TaskKill(0)"), L"true");
  EXPECT_EQ(Eval("r = Lua_KillAllTaskByName('no_such_image_here.exe')"), L"true");
}

TEST_F(ProcessFunctions, NeverEndsTheInstallerItself) {
  EXPECT_EQ(Eval("r = Lua_TaskKill(" + Num(GetCurrentProcessId()) + ")"), L"false");
  ProcessToolHelp tools;
  EXPECT_FALSE(tools.KillProcess(GetCurrentProcessId()));
  // By name, in a program whose image name nothing else shares (other copies
  // of this test program may be running): it passes itself over, and with no
  // other match there is nothing to end.
  const std::wstring name = Unique(L"qself") + L".exe";
  const std::wstring runner = dir_ + L"\\" + name;
  ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"scriptrunner.exe").c_str(), runner.c_str(), FALSE));
  auto run = systest::RunScript("r = tostring(Lua_KillAllTaskByName(" + Lit(name) + "))", runner);
  EXPECT_EQ(run.result, L"true");
}

// --- Lua_GetImagePathByPid and device paths --------------------------------

TEST_F(ProcessFunctions, ImagePathIsADrivePath) {
  const std::wstring self = OwnPath();
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid(" + Num(GetCurrentProcessId()) + ")"), self);
  ASSERT_GE(self.size(), 3u);
  EXPECT_EQ(self.substr(1, 2), L":\\");
  // The id is the last argument.
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid(0, " + Num(GetCurrentProcessId()) + ")"), self);

  // A program on drive C: (the temporary folder is there).
  ASSERT_EQ(dir_.substr(0, 3), L"C:\\");
  const std::wstring exe = CopyTarget(Unique(L"qimage") + L".exe");
  Child& c = Start(exe, {L"loop"});
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid(" + Num(c.Id()) + ")"), exe);
}

TEST_F(ProcessFunctions, ImagePathOfAProcessThatCannotBeOpenedIsNil) {
  const std::wstring exe = CopyTarget(Unique(L"qnil") + L".exe");
  Child& c = Start(exe, {});
  ASSERT_TRUE(c.WaitExit());
  const DWORD pid = c.Id();
  const std::string id = Num(pid);
  c.Close();
  // The system drops the ended process a moment after its last handle.
  ASSERT_TRUE(WaitUntil([&] {
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (h) CloseHandle(h);
    return h == nullptr;
  }));
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid(" + id + ")"), L"nil");
  EXPECT_EQ(Eval("r = select('#', Lua_GetImagePathByPid(" + id + "))"), L"0");
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid()"), L"nil");
  EXPECT_EQ(Eval("r = Lua_GetImagePathByPid(-8)"), L"nil");
}

TEST(DevicePaths, OnlyTheLeadingDeviceOfAKnownDriveIsReplaced) {
  wchar_t device[MAX_PATH] = {};
  ASSERT_GT(QueryDosDeviceW(L"C:", device, MAX_PATH), 0u);
  const std::wstring dev = device;
  ProcessToolHelp tools;

  std::wstring p = dev + L"\\dir\\file.exe";
  EXPECT_TRUE(tools.DevicePathToDrivePath(p));
  EXPECT_EQ(p, L"C:\\dir\\file.exe");

  // The device text again inside the path is a folder name: kept.
  p = dev + L"\\a" + dev + L"\\b";
  EXPECT_TRUE(tools.DevicePathToDrivePath(p));
  EXPECT_EQ(p, L"C:\\a" + dev + L"\\b");

  // Fewer than three backslashes: unchanged.
  for (std::wstring q : {std::wstring(L"\\Device\\HarddiskVolume1"), std::wstring(L"plain"), std::wstring()}) {
    const std::wstring before = q;
    EXPECT_TRUE(tools.DevicePathToDrivePath(q));
    EXPECT_EQ(q, before);
  }
}

TEST(DevicePaths, AnUnknownDeviceFailsAndANetworkPathBecomesUnc) {
  ProcessToolHelp tools;
  // A device that only starts like a known one is another device.
  wchar_t device[MAX_PATH] = {};
  ASSERT_GT(QueryDosDeviceW(L"C:", device, MAX_PATH), 0u);
  for (std::wstring unknown : {std::wstring(device) + L"9\\x\\y", std::wstring(L"\\Device\\NoSuchVolume\\x")}) {
    const std::wstring before = unknown;
    EXPECT_FALSE(tools.DevicePathToDrivePath(unknown)) << harness::ToUtf8(before);
    EXPECT_EQ(unknown, before);
  }
  std::wstring unc = L"\\Device\\Mup\\server\\share\\dir\\f.exe";
  EXPECT_TRUE(tools.DevicePathToDrivePath(unc));
  EXPECT_EQ(unc, L"\\\\server\\share\\dir\\f.exe");
}
