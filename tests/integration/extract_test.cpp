// A packed installer (products/extract) unpacks its own payload in the
// on-install hook and writes its uninstall chunk and payload archive with
// Lua_ExtractResource.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "harness.h"
#include "installer.h"
#include "testpaths.h"

using it::HasLine;
using it::Logged;
using testsupport::ReadFileBytes;

namespace {

// A resource of the installer file as stored in it.
std::string StoredResource(const std::wstring& exe, const wchar_t* type, const wchar_t* name) {
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC info = m ? FindResourceW(m, name, type) : nullptr;
  const char* p = info ? static_cast<const char*>(LockResource(LoadResource(m, info))) : nullptr;
  std::string bytes = p ? std::string(p, SizeofResource(m, info)) : std::string();
  if (m) FreeLibrary(m);
  return bytes;
}

void ExpectPayload(const std::wstring& folder) {
  std::string numbers;
  for (int i = 1; i <= 3000; ++i) numbers += std::to_string(i) + "\n";
  EXPECT_EQ(ReadFileBytes(folder + L"\\readme.txt"), "Quillon extraction test payload\r\n");
  EXPECT_EQ(ReadFileBytes(folder + L"\\bin\\settings.ini"), "[settings]\r\nmode=test\r\n");
  EXPECT_EQ(ReadFileBytes(folder + L"\\bin\\data\\numbers.txt"), numbers);
  EXPECT_EQ(ReadFileBytes(folder + L"\\docs\\guide.txt"), "guide\r\n");
}

}  // namespace

TEST(ExtractInstall, OnInstallUnpacksThePayloadAndWritesResourcesIntoTheInstallFolder) {
  const std::wstring exe = it::CopyInstaller(L"extract_setup.exe");
  const std::wstring target = testsupport::MakeTempDir(L"extractinst");
  const std::wstring product = target + L"\\Quillon";
  auto r = it::RunInstaller(exe, {L"/InstallSlience", L"true", L"/InstallPath", target});
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);

  EXPECT_EQ(Logged(r, L"unpack"), L"true");
  EXPECT_EQ(Logged(r, L"files"), L"4");
  EXPECT_TRUE(HasLine(r, L"UnCompress App.7z to " + product + L" ."));
  EXPECT_TRUE(HasLine(r, L"UnCompress successful."));
  EXPECT_TRUE(HasLine(r, L"unpacked:" + product + L"\\bin\\data\\numbers.txt"));
  ExpectPayload(product);

  EXPECT_EQ(Logged(r, L"uninst"), L"true");
  const std::string chunk = StoredResource(exe, L"LUA", L"UNINSTSCRIPT.LUAC");
  ASSERT_FALSE(chunk.empty());
  EXPECT_TRUE(ReadFileBytes(product + L"\\uninst.luac") == chunk);

  // The payload comes out as a plain 7z: its first two bytes put back.
  EXPECT_EQ(Logged(r, L"payload"), L"true");
  std::string stored = StoredResource(exe, L"_7Z", L"APP.7Z");
  ASSERT_EQ(stored.substr(0, 2), "z7");
  std::swap(stored[0], stored[1]);
  EXPECT_EQ(stored.substr(0, 6), std::string("7z\xBC\xAF\x27\x1C", 6));
  EXPECT_TRUE(ReadFileBytes(product + L"\\payload.7z") == stored);

  // Unpacked once more in the same process; a missing folder fails.
  EXPECT_EQ(Logged(r, L"again"), L"true");
  ExpectPayload(product + L"\\again");
  EXPECT_EQ(Logged(r, L"missing"), L"false");
  EXPECT_TRUE(HasLine(r, L"Fun:Lua_UnCompress7z, Description:" + product + L"\\no\\such\\folder it's not exists!"));

  testsupport::RemoveTree(target);
  testsupport::RemoveTree(it::DirOf(exe));
}
