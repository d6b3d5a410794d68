// The listening window: receives what another process sends or posts to it,
// and can go away to play a listener that has quit.
#include "childrun.h"

namespace {

using harnesstest::RunChild;

constexpr UINT kInstallFinished = 3014;
// Shaped like the installer's listener class, but its own: integration tests
// running alongside look the real one up by name.
const wchar_t kListenClass[] = L"Global\\{5A3E0B7C-0000-4000-8000-486172657373}";

std::wstring Decimal(HWND h) { return std::to_wstring(static_cast<unsigned long>(reinterpret_cast<uintptr_t>(h))); }

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

TEST(HarnessListeningWindow, IsATopLevelWindowOfTheGivenClass) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow w(kListenClass);
  ASSERT_NE(w.Handle(), nullptr) << "error " << w.CreateError();
  EXPECT_TRUE(IsWindow(w.Handle()));
  EXPECT_EQ(ClassOf(w.Handle()), kListenClass);
  EXPECT_EQ(GetAncestor(w.Handle(), GA_PARENT), GetDesktopWindow());
  DWORD pid = 0;
  GetWindowThreadProcessId(w.Handle(), &pid);
  EXPECT_EQ(pid, GetCurrentProcessId());
}

TEST(HarnessListeningWindow, RecordsAMessageSentByAnotherProcess) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow w(kListenClass);
  ASSERT_NE(w.Handle(), nullptr);
  auto r = RunChild({L"send", Decimal(w.Handle()), std::to_wstring(kInstallFinished), L"0", L"0"});
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_TRUE(w.WaitForMessage(kInstallFinished, 10000));
  auto m = w.Messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].id, kInstallFinished);
  EXPECT_EQ(m[0].wParam, 0u);
  EXPECT_EQ(m[0].lParam, 0);
}

TEST(HarnessListeningWindow, KeepsPostedMessagesFromWmUserUpWithTheirParameters) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow w;
  ASSERT_NE(w.Handle(), nullptr);
  const std::wstring h = Decimal(w.Handle());
  RunChild({L"send", h, std::to_wstring(WM_NULL), L"0", L"0", L"send", h, std::to_wstring(WM_USER - 1), L"0", L"0",
            L"post", h, std::to_wstring(WM_USER), L"1", L"2", L"post", h, L"0x8001", L"7", L"9"});
  ASSERT_TRUE(w.WaitForMessage(0x8001, 10000));
  auto m = w.Messages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].id, static_cast<UINT>(WM_USER));
  EXPECT_EQ(m[0].wParam, 1u);
  EXPECT_EQ(m[0].lParam, 2);
  EXPECT_EQ(m[1].id, 0x8001u);
  EXPECT_EQ(m[1].wParam, 7u);
  EXPECT_EQ(m[1].lParam, 9);
}

TEST(HarnessListeningWindow, IsFoundByItsClassName) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow w(L"QuillHarnessTestFindMe");
  ASSERT_NE(w.Handle(), nullptr);
  RunChild({L"send-class", w.ClassName(), std::to_wstring(kInstallFinished), L"0", L"0"});
  EXPECT_TRUE(w.WaitForMessage(kInstallFinished, 10000));
}

TEST(HarnessListeningWindow, TwoWindowsOfOneClassKeepTheirOwnMessages) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow a(L"QuillHarnessTestShared"), b(L"QuillHarnessTestShared");
  ASSERT_NE(a.Handle(), nullptr);
  ASSERT_NE(b.Handle(), nullptr) << "error " << b.CreateError();
  RunChild({L"send", Decimal(b.Handle()), L"0x8002", L"0", L"0"});
  ASSERT_TRUE(b.WaitForMessage(0x8002, 10000));
  EXPECT_TRUE(a.Messages().empty());
}

TEST(HarnessListeningWindow, DestroyLeavesAStaleHandle) {
  REQUIRE_DISPLAY();
  harness::ListeningWindow w(L"QuillHarnessTestGone");
  HWND h = w.Handle();
  ASSERT_TRUE(IsWindow(h));
  w.Destroy();
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(w.Handle(), h);
  EXPECT_EQ(FindWindowW(L"QuillHarnessTestGone", nullptr), nullptr);
  w.Destroy();  // a second time is harmless
  // A sender to the stale handle gets nowhere and is not held up.
  auto r = RunChild({L"send", Decimal(h), std::to_wstring(kInstallFinished), L"0", L"0"});
  EXPECT_FALSE(r.timedOut);
  EXPECT_TRUE(w.Messages().empty());
}

}  // namespace
