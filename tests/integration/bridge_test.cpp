// Native exports called from a packed installer's hook.
#include <gtest/gtest.h>

#include "installer.h"
#include "testpaths.h"

using it::Logged;

TEST(PackedBridge, InstallHookCallsSystemAndTestLibraryExports) {
  auto r = it::RunInstaller(it::CopyInstaller(L"bridge_setup.exe"),
                            {L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName(), L"/TestDll",
                             testsupport::BinPath(L"bridgetest.dll")});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty()) << (r.boxes.empty() ? "" : harness::ToUtf8(r.boxes[0].text));
  EXPECT_EQ(Logged(r, L"pid"), std::to_wstring(r.processId));
  EXPECT_EQ(Logged(r, L"sleep"), L"2");  // nil result and the last error
  EXPECT_EQ(Logged(r, L"loaded"), L"true");
  EXPECT_EQ(Logged(r, L"two_std"), L"2");
  EXPECT_EQ(Logged(r, L"two_cdecl"), L"2");
  EXPECT_EQ(Logged(r, L"bits_int"), L"-1");
  EXPECT_EQ(Logged(r, L"bits_uint"), L"4294967295");
  EXPECT_EQ(Logged(r, L"checksum6"), L"91");
  EXPECT_EQ(Logged(r, L"wlen"), L"3");
  EXPECT_EQ(Logged(r, L"filled"), L"6");
  EXPECT_EQ(Logged(r, L"u32"), std::to_wstring(0x04030201u));
  EXPECT_EQ(Logged(r, L"u8_5"), L"6");
  EXPECT_EQ(Logged(r, L"u8_6"), L"0");
  EXPECT_EQ(Logged(r, L"i32_4"), L"-1");
  EXPECT_EQ(Logged(r, L"outside"), L"nil");  // would reach past the 8-byte block
  EXPECT_EQ(Logged(r, L"exists_dll"), L"true");
  EXPECT_EQ(Logged(r, L"exists_none"), L"false");
}
