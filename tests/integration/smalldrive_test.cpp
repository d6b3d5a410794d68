// Unpacking onto a drive that fills up: the file that could not be written
// whole does not stay behind looking complete, and the sample's install
// stops there. The drive is a 1 MiB tmpfs the test run mounts (see
// CMakeLists.txt), reached through Wine's drive for the Linux root.
#include <windows.h>

#include <gtest/gtest.h>

#include "harness.h"
#include "installer.h"
#include "testpaths.h"

namespace {

std::wstring SmallDrive() {
  std::wstring bin = testsupport::BinDir();  // ...\bin\ ; the drive is beside it
  bin.pop_back();
  return bin.substr(0, bin.find_last_of(L'\\')) + L"\\smalldrive";
}

ULONGLONG FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

TEST(FullDisk, TheCutFileIsRemovedAndTheInstallStops) {
  const std::wstring drive = SmallDrive();
  ULARGE_INTEGER total = {};
  ASSERT_TRUE(GetDiskFreeSpaceExW(drive.c_str(), nullptr, &total, nullptr)) << harness::ToUtf8(drive);
  ASSERT_LE(total.QuadPart, 2u * 1024 * 1024) << "the small drive is not mounted";
  const std::wstring target = drive + L"\\inst";
  testsupport::RemoveTree(target);
  RegDeleteKeyValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", L"InstallPath");

  auto r = it::RunInstaller(it::CopyInstaller(L"quillon_setup.exe"), {L"/InstallSlience", L"true", L"/InstallPath", target});
  EXPECT_EQ(r.exitCode, 0u);
  std::wstring removed;
  for (const auto& l : it::Lines(r)) {
    const size_t at = l.find(L" could not be written whole (error 112), removed!");
    if (l.compare(0, 21, L"Fun:Lua_UnCompress7z,") == 0 && at != std::wstring::npos)
      removed = l.substr(34, at - 34);  // after "Fun:Lua_UnCompress7z, Description:"
  }
  ASSERT_FALSE(removed.empty()) << "no trace of the cut file";
  EXPECT_FALSE(testsupport::FileExists(removed)) << harness::ToUtf8(removed);
  // Whatever did get written is whole.
  const std::wstring folder = target + L"\\Quillon";
  for (const wchar_t* name : {L"Quillon.exe", L"qvstat.dll"}) {
    const std::wstring path = folder + L"\\" + name;
    if (testsupport::FileExists(path))
      EXPECT_EQ(FileSize(path), FileSize(testsupport::BinPath(name))) << harness::ToUtf8(path);
  }
  // The sample stopped after the failed unpacking: nothing written after it.
  bool stopped = false;
  for (const auto& l : it::Lines(r)) stopped = stopped || l.find(L"install stopped: unpacking into") == 0;
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(testsupport::FileExists(folder + L"\\uninst.luac"));
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Quillon", L"InstallPath", RRF_RT_REG_SZ, nullptr, value, &size),
            ERROR_SUCCESS);
  testsupport::RemoveTree(target);
}

}  // namespace
