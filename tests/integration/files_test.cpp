// The locked-file dialog of Lua_DeleteFile, answered through the harness.
#include <windows.h>

#include <gtest/gtest.h>

#include "installer.h"
#include "testpaths.h"

using it::Logged;

namespace {

class LockedFileDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"locked");
    file_ = dir_ + L"\\busy.dll";
    ASSERT_TRUE(testsupport::WriteFileBytes(file_, "in use"));
    lock_ = CreateFileW(file_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    Unlock();
    testsupport::RemoveTree(dir_);
  }
  void Unlock() {
    if (lock_ != INVALID_HANDLE_VALUE) CloseHandle(lock_);
    lock_ = INVALID_HANDLE_VALUE;
  }
  harness::RunResult Run(harness::MessageBoxHandler onBox) {
    return it::RunInstaller(it::CopyInstaller(L"spine_setup.exe"),
                            {L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(), L"/TestDirect",
                             L"1", L"/TestDelete", file_},
                            onBox);
  }
  std::wstring dir_, file_;
  HANDLE lock_ = INVALID_HANDLE_VALUE;
};

const wchar_t kText[] =
    L"无法删除\"%ls\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！";

}  // namespace

TEST_F(LockedFileDialog, IgnoreGoesOnWithTrue) {
  auto r = Run(harness::Press(IDIGNORE));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, L"提示");
  wchar_t text[1024];
  swprintf(text, 1024, kText, file_.c_str());
  EXPECT_EQ(r.boxes[0].text, text);
  EXPECT_EQ(r.boxes[0].buttons, (std::vector<int>{IDABORT, IDRETRY, IDIGNORE}));
  EXPECT_EQ(Logged(r, L"delete"), L"true");
  EXPECT_TRUE(it::HasLine(r, L"Delete " + file_ + L" failed!"));
  EXPECT_TRUE(testsupport::FileExists(file_));
  EXPECT_EQ(it::Hooks(r).size(), 5u);
}

TEST_F(LockedFileDialog, RetryAfterReleaseDeletesTheFile) {
  int shown = 0;
  auto r = Run([&](const harness::MessageBoxRecord&) {
    if (++shown == 2) Unlock();  // a first retry fails again, the second succeeds
    return IDRETRY;
  });
  EXPECT_EQ(shown, 2);
  EXPECT_EQ(Logged(r, L"delete"), L"true");
  EXPECT_FALSE(testsupport::FileExists(file_));
}

TEST_F(LockedFileDialog, AbortEndsTheInstallerAtOnce) {
  auto r = Run(harness::Press(IDABORT));
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(Logged(r, L"delete"), L"<none>");
  EXPECT_EQ(it::Hooks(r), (std::vector<std::wstring>{L"BrixSE_BeforeInit", L"BrixSE_BeforeInstall", L"BrixSE_OnInstall"}));
}
