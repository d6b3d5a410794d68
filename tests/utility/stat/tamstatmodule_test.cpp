// The statistics module against the recording qvstat.dll stand-in: what is
// called, with which values, in which order and on which thread.
#include "tamstatmodule.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <sstream>
#include <thread>

#include "strconv.h"
#include "testpaths.h"
#include "testsignal.h"
#include "versioninfo.h"

using brix::TamStatModule;
using stattest::Signal;
using Calls = std::vector<std::string>;

namespace {

// One line the qvstat.dll stand-in recorded.
struct StatCall {
  std::string call;  // name and arguments, e.g. "stat_appid 145"; also "load <path>", "unload"
  DWORD thread = 0;
};

std::vector<StatCall> ReadStatCalls(const std::wstring& recordFile) {
  std::vector<StatCall> out;
  std::istringstream in(testsupport::ReadFileBytes(recordFile));
  std::string line;
  while (std::getline(in, line)) {
    StatCall c;
    const size_t tid = line.rfind(" tid=");
    if (tid != std::string::npos) {
      c.thread = static_cast<DWORD>(std::stoul(line.substr(tid + 5)));
      line.resize(tid);
    }
    c.call = line;
    out.push_back(c);
  }
  return out;
}

Calls CallTexts(const std::vector<StatCall>& calls) {
  Calls out;
  for (const auto& c : calls) out.push_back(c.call);
  return out;
}

// Only the entry-point calls.
std::vector<StatCall> EntryCalls(const std::vector<StatCall>& calls) {
  std::vector<StatCall> out;
  for (const auto& c : calls)
    if (c.call.compare(0, 5, "stat_") == 0) out.push_back(c);
  return out;
}

// The test executable's own product version (statmodule.rc).
const char kOwnVersion[] = "stat_version_ex 3 1 40000 15";

class StatModule : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> n{0};
    dir_ = testsupport::MakeTempDir(L"stat");
    ASSERT_FALSE(dir_.empty());
    emptyFolder_ = dir_ + L"\\own\\";
    CreateDirectoryW(emptyFolder_.c_str(), nullptr);
    record_ = dir_ + L"\\record.txt";
    SetEnvironmentVariableW(L"QUILL_STAT_RECORD", record_.c_str());
    key_ = L"SOFTWARE\\QuillStatTest\\" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(n++);
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"QUILL_STAT_RECORD", nullptr);
    SetEnvironmentVariableW(L"QUILL_STAT_INIT_RESULT", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, L"SOFTWARE\\QuillStatTest");  // only once empty
    testsupport::RemoveTree(dir_);
  }

  void SetUnionId(DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"UnionId", 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void SetUnionId(DWORD value) { SetUnionId(REG_DWORD, &value, sizeof value); }

  // A module whose fallback folder holds no library.
  std::shared_ptr<TamStatModule> Module() { return std::make_shared<TamStatModule>(emptyFolder_); }
  bool Init(TamStatModule& m, const std::wstring& library, const std::wstring& host = L"stat.test.example") {
    return m.Init(key_, host, library, L"");
  }
  // Waits until everything queued before has run on the worker.
  static void Drain(TamStatModule& m) {
    Signal s;
    m.AddTask(std::make_shared<brix::EasyTask0>([&s] { s.Set(); }));
    ASSERT_TRUE(s.Wait());
  }
  std::vector<StatCall> Recorded() { return ReadStatCalls(record_); }
  Calls Entries() { return CallTexts(EntryCalls(Recorded())); }

  std::wstring dir_, emptyFolder_, record_, key_;
};

std::wstring Copy(const std::wstring& from, const std::wstring& folder, const std::wstring& name = L"qvstat.dll") {
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring to = folder + L"\\" + name;
  CopyFileW(from.c_str(), to.c_str(), FALSE);
  return to;
}

std::string Utf8(const std::wstring& s) { return brix::WideToUtf8(s); }

// Keeps the statistics worker busy until Stop cancels it.
class HoldUntilCancelled : public brix::IThreadTask {
 public:
  void SetPool(brix::IThreadPool*) override {}
  void Cancel() override { release.Set(); }
  void Run() override {
    held.Set();
    release.Wait();
  }
  Signal held, release;
};

}  // namespace

// --- Init and Uninit --------------------------------------------------------

TEST_F(StatModule, InitReportsTheIdentityInOrderOnTheCallingThread) {
  auto m = Module();
  const std::wstring lib = testsupport::BinPath(L"qvstat.dll");
  EXPECT_TRUE(Init(*m, lib));
  EXPECT_FALSE(m->IsStopped()) << "Init starts the statistics worker";
  const auto calls = Recorded();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].call, "load " + Utf8(lib));
  EXPECT_EQ(CallTexts(EntryCalls(calls)),
            (Calls{"stat_appid 145", "stat_unionid 27021", kOwnVersion, "stat_dispatch_addr stat.test.example 8700",
                   "stat_init"}));
  for (const auto& c : EntryCalls(calls)) EXPECT_EQ(c.thread, GetCurrentThreadId()) << c.call;
  m->Uninit();
}

TEST_F(StatModule, UninitTakesTheLibraryOfflineClosesAndUnloadsIt) {
  auto m = Module();
  ASSERT_TRUE(Init(*m, testsupport::BinPath(L"qvstat.dll")));
  const size_t before = Recorded().size();
  DWORD uninitThread = 0;
  std::thread([&] {
    uninitThread = GetCurrentThreadId();
    m->Uninit();
  }).join();
  const auto calls = Recorded();
  ASSERT_EQ(calls.size(), before + 3);
  EXPECT_EQ(calls[before].call, "stat_offline");
  EXPECT_EQ(calls[before + 1].call, "stat_close 3000");
  EXPECT_EQ(calls[before + 2].call, "unload");
  EXPECT_EQ(calls[before].thread, uninitThread);
  EXPECT_EQ(calls[before + 1].thread, uninitThread);
  EXPECT_TRUE(m->IsStopped());

  m->Uninit();  // nothing left to call
  EXPECT_EQ(Recorded().size(), before + 3);
}

TEST_F(StatModule, UninitWithoutInitCallsNothing) {
  auto m = Module();
  m->Uninit();
  EXPECT_FALSE(testsupport::FileExists(record_));
  EXPECT_TRUE(m->IsStopped());
}

TEST_F(StatModule, FailingStatInitMakesInitFalseAfterTheOtherCalls) {
  SetEnvironmentVariableW(L"QUILL_STAT_INIT_RESULT", L"0");
  auto m = Module();
  EXPECT_FALSE(Init(*m, testsupport::BinPath(L"qvstat.dll")));
  EXPECT_EQ(Entries().size(), 5u);
  EXPECT_EQ(Entries().back(), "stat_init");
  // The library stays loaded and is closed as usual.
  m->Uninit();
  const Calls all = Entries();
  ASSERT_GE(all.size(), 2u);
  const Calls tail(all.end() - 2, all.end());
  EXPECT_EQ(tail, (Calls{"stat_offline", "stat_close 3000"}));
}

TEST_F(StatModule, LibraryWithoutStatInitGivesFalseAfterTheOtherCalls) {
  auto m = Module();
  EXPECT_FALSE(Init(*m, testsupport::BinPath(L"qvstat_noinit.dll")));
  EXPECT_EQ(Entries(), (Calls{"stat_appid 145", "stat_unionid 27021", kOwnVersion,
                              "stat_dispatch_addr stat.test.example 8700"}));
  m->Uninit();
}

TEST_F(StatModule, HostReachesTheLibraryInTheThreadAnsiCodePage) {
  const std::wstring host = L"\u7EDF\u8BA1.example";  // 统计.example
  auto m = Module();
  ASSERT_TRUE(Init(*m, testsupport::BinPath(L"qvstat.dll"), host));
  const std::string ansi = brix::ToNarrow(host.c_str(), CP_THREAD_ACP);
  EXPECT_EQ(Entries().at(3), "stat_dispatch_addr " + ansi + " 8700");
  if (GetACP() != CP_UTF8) {
    EXPECT_NE(ansi, Utf8(host));
  }
  m->Uninit();
}

// --- where the library comes from -----------------------------------------

TEST_F(StatModule, LibraryOnlyInTheOwnFolderIsLoadedFromThere) {
  const std::wstring own = dir_ + L"\\beside";
  const std::wstring copy = Copy(testsupport::BinPath(L"qvstat.dll"), own);
  auto m = std::make_shared<TamStatModule>(own + L"\\");
  EXPECT_TRUE(Init(*m, dir_ + L"\\install\\qvstat.dll"));
  EXPECT_EQ(Recorded().at(0).call, "load " + Utf8(copy));
  m->Uninit();
}

TEST_F(StatModule, InstallFolderComesBeforeTheOwnFolder) {
  const std::wstring own = dir_ + L"\\beside";
  Copy(testsupport::BinPath(L"qvstat.dll"), own);
  const std::wstring inInstall = Copy(testsupport::BinPath(L"qvstat.dll"), dir_ + L"\\install");
  auto m = std::make_shared<TamStatModule>(own + L"\\");
  EXPECT_TRUE(Init(*m, inInstall));
  EXPECT_EQ(Recorded().at(0).call, "load " + Utf8(inInstall));
  m->Uninit();
}

TEST_F(StatModule, EnvironmentReferencesInTheLibraryPathAreExpanded) {
  const std::wstring copy = Copy(testsupport::BinPath(L"qvstat.dll"), dir_ + L"\\expanded");
  SetEnvironmentVariableW(L"QUILL_STAT_DIR", (dir_ + L"\\expanded").c_str());
  auto m = Module();
  EXPECT_TRUE(Init(*m, L"%QUILL_STAT_DIR%\\qvstat.dll"));
  SetEnvironmentVariableW(L"QUILL_STAT_DIR", nullptr);
  EXPECT_EQ(Recorded().at(0).call, "load " + Utf8(copy));
  m->Uninit();
}

TEST_F(StatModule, MissingLibraryGivesFalseAndLaterCallsReachNothing) {
  auto m = Module();
  EXPECT_FALSE(Init(*m, dir_ + L"\\nowhere\\qvstat.dll"));
  EXPECT_FALSE(m->IsStopped()) << "the worker runs even without a library";
  EXPECT_TRUE(m->AddAction(25103));
  Drain(*m);
  m->Uninit();
  EXPECT_FALSE(testsupport::FileExists(record_));
}

// --- union id ----------------------------------------------------------------

TEST_F(StatModule, UnionIdFromTheRegistryReachesTheLibrary) {
  SetUnionId(100);
  auto m = Module();
  ASSERT_TRUE(Init(*m, testsupport::BinPath(L"qvstat.dll")));
  EXPECT_EQ(Entries().at(1), "stat_unionid 100");
  m->Uninit();
}

TEST_F(StatModule, UnionIdMissingOrBelowOneHundredGivesTheFallback) {
  EXPECT_EQ(brix::ReadUnionId(key_), 27021);  // no key
  SetUnionId(99);
  EXPECT_EQ(brix::ReadUnionId(key_), 27021);
  SetUnionId(100);
  EXPECT_EQ(brix::ReadUnionId(key_), 100);
  SetUnionId(0xFFFFFFFFu);  // -1 as a signed id
  EXPECT_EQ(brix::ReadUnionId(key_), 27021);
}

TEST_F(StatModule, UnionIdThatIsNoFourByteNumberGivesTheFallback) {
  // "12" as UTF-16 with its NUL is 4 bytes too, but it is no number.
  SetUnionId(REG_SZ, L"12", 6);
  EXPECT_EQ(brix::ReadUnionId(key_), 27021);
  const unsigned long long wide = 500;
  SetUnionId(REG_QWORD, &wide, sizeof wide);
  EXPECT_EQ(brix::ReadUnionId(key_), 27021);
}

// --- actions -----------------------------------------------------------------

TEST_F(StatModule, ActionsRunAloneAndInOrderOnTheStatisticsWorker) {
  auto m = Module();
  DWORD initThread = 0;
  // As in window mode: Init on the install worker, actions from the UI
  // thread, Uninit on the main thread.
  std::thread([&] {
    initThread = GetCurrentThreadId();
    EXPECT_TRUE(Init(*m, testsupport::BinPath(L"qvstat.dll")));
  }).join();
  EXPECT_TRUE(m->AddAction(25103));
  EXPECT_TRUE(m->AddAction(25105));
  Drain(*m);
  m->Uninit();

  const auto calls = EntryCalls(Recorded());
  ASSERT_EQ(calls.size(), 9u);
  EXPECT_EQ(calls[5].call, "stat_mutilaction [25103] 1 0");
  EXPECT_EQ(calls[6].call, "stat_mutilaction [25105] 1 0");
  EXPECT_EQ(calls[7].call, "stat_offline");
  EXPECT_EQ(calls[8].call, "stat_close 3000");
  EXPECT_EQ(calls[0].thread, initThread);
  EXPECT_EQ(calls[5].thread, calls[6].thread);
  EXPECT_NE(calls[5].thread, initThread);
  EXPECT_NE(calls[5].thread, GetCurrentThreadId());
  EXPECT_EQ(calls[7].thread, GetCurrentThreadId());
}

TEST_F(StatModule, DestroyingTheModuleStopsItsWorker) {
  auto m = Module();
  // Without Uninit the library stays loaded: a copy of its own keeps that
  // from the other tests in this process.
  const std::wstring kept = Copy(testsupport::BinPath(L"qvstat.dll"), dir_ + L"\\kept");
  ASSERT_TRUE(Init(*m, kept));
  auto hold = std::make_shared<HoldUntilCancelled>();
  m->AddTask(hold);
  ASSERT_TRUE(hold->held.Wait());
  m->AddAction(25106);
  std::weak_ptr<TamStatModule> weak = m;
  m.reset();
  EXPECT_TRUE(weak.expired());
  for (const auto& c : Entries()) EXPECT_EQ(c.find("stat_mutilaction"), std::string::npos) << c;
  if (HMODULE left = GetModuleHandleW(kept.c_str())) FreeLibrary(left);  // so the folder can go
}

TEST(StatModuleInstance, IsOneObjectForAllThreads) {
  std::promise<std::shared_ptr<TamStatModule>> other;
  std::thread t([&] { other.set_value(TamStatModule::Instance()); });
  auto mine = TamStatModule::Instance();
  t.join();
  EXPECT_EQ(mine, other.get_future().get());
  EXPECT_TRUE(mine->IsStopped());
}

// --- version -------------------------------------------------------------------

TEST(ProductVersion, ComesFromTheProductNotTheFileVersion) {
  EXPECT_EQ(brix::OwnProductVersion(), (std::array<int32_t, 4>{3, 1, 40000, 15}));
}

TEST(ProductVersion, MissingVersionResourceGivesOnePointZeroPointZeroPointOne) {
  EXPECT_EQ(brix::ProductVersionOf(testsupport::BinPath(L"qvstat.dll")), (std::array<int32_t, 4>{1, 0, 0, 1}));
  EXPECT_EQ(brix::ProductVersionOf(L"C:\\no\\such\\file.exe"), (std::array<int32_t, 4>{1, 0, 0, 1}));
}
