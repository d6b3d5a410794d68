// Lua_GetFileVersion and Lua_GetDriverInstallPath.
#include <windows.h>

#include <gtest/gtest.h>

#include <iostream>
#include <set>

#include "functions/systemops.h"
#include "systest.h"

using namespace systest;

TEST(FileVersion, TheFileVersionOfTheResource) {
  // The component's product version is 9.8.7.6: the file version counts.
  EXPECT_EQ(Eval("r = Lua_GetFileVersion(" + Lit(testsupport::BinPath(L"comfixture.dll")) + ")"), L"1.2.3.4");
}

TEST(FileVersion, EmptyWithoutAVersionResource) {
  EXPECT_EQ(Eval("r = Lua_GetFileVersion(" + Lit(testsupport::BinPath(L"plainfixture.dll")) + ")"), L"");
  EXPECT_EQ(Eval("r = Lua_GetFileVersion()"), L"");
  EXPECT_EQ(Eval("r = Lua_GetFileVersion(" + Lit(testsupport::BinPath(L"no_such_file.dll")) + ")"), L"");
  // The path is taken as it is.
  SetEnvironmentVariableW(L"QVERBIN", testsupport::BinDir().c_str());
  EXPECT_EQ(Eval("r = Lua_GetFileVersion('%QVERBIN%comfixture.dll')"), L"");
  SetEnvironmentVariableW(L"QVERBIN", nullptr);
}

TEST(InstallPath, TheProgramFilesFolderWithABackslash) {
  // Wine's drives: C: and Z: (the Linux root) are both reported fixed, and
  // Z: has no "Program Files", so the default stands.
  std::wstring types;
  for (int i = 0; i < 26; ++i)
    if (GetLogicalDrives() & (1u << i)) {
      const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\0'};
      types += std::wstring(root) + L"=" + std::to_wstring(GetDriveTypeW(root)) + L" ";
    }
  RecordProperty("drive_types", harness::ToUtf8(types));
  std::cout << "drive types: " << harness::ToUtf8(types) << "\n";

  // The 32-bit build is given the 32-bit program-files folder.
  const std::wstring got = Eval("r = Lua_GetDriverInstallPath()");
  EXPECT_EQ(got, sizeof(void*) == 4 ? L"C:\\Program Files (x86)\\" : L"C:\\Program Files\\");
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), L'\\');
}

TEST(InstallPath, ALaterFixedDriveWithTheSameFolderWins) {
  std::set<std::wstring> present;
  auto exists = [&](const std::wstring& p) { return present.count(p) > 0; };
  const std::wstring def = L"C:\\Program Files (x86)\\";

  present = {L"E:\\Program Files (x86)\\"};
  EXPECT_EQ(brix::PickInstallFolder(def, {L"C:", L"D:", L"E:"}, exists), L"E:\\Program Files (x86)\\");
  present = {L"D:\\Program Files (x86)\\", L"E:\\Program Files (x86)\\"};
  EXPECT_EQ(brix::PickInstallFolder(def, {L"C:", L"D:", L"E:"}, exists), L"D:\\Program Files (x86)\\");
  present.clear();
  EXPECT_EQ(brix::PickInstallFolder(def, {L"C:", L"D:"}, exists), def);
  // The first fixed drive is never a candidate, even when it is not the
  // default's drive.
  present = {L"D:\\Program Files (x86)\\"};
  EXPECT_EQ(brix::PickInstallFolder(L"E:\\Program Files (x86)\\", {L"D:", L"E:"}, exists),
            L"E:\\Program Files (x86)\\");
  // One fixed drive: the default whatever exists elsewhere.
  EXPECT_EQ(brix::PickInstallFolder(def, {L"D:"}, exists), def);
  // A default without a drive (an unset variable) is not rewritten.
  present = {L"D:ogramFiles%\\"};
  EXPECT_EQ(brix::PickInstallFolder(L"%ProgramFiles%\\", {L"C:", L"D:"}, exists), L"%ProgramFiles%\\");
}
