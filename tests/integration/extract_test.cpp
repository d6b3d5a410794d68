// A packed installer unpacks its own payload in the on-install hook and
// writes its uninstall chunk and payload archive with Lua_ExtractResource.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "harness.h"
#include "installer.h"
#include "testpaths.h"

using it::HasLine;
using it::Logged;
using testsupport::FileExists;
using testsupport::ReadFileBytes;

namespace {

const std::wstring kSetup = L"extract_setup.exe";

// A resource of the installer file, as stored.
std::string StoredResource(const std::wstring& exe, const wchar_t* type, const wchar_t* name) {
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return {};
  std::string bytes;
  if (HRSRC info = FindResourceW(m, name, type)) {
    HGLOBAL res = LoadResource(m, info);
    const char* p = static_cast<const char*>(LockResource(res));
    if (p) bytes.assign(p, SizeofResource(m, info));
  }
  FreeLibrary(m);
  return bytes;
}

std::string Numbers(int last) {
  std::string s;
  for (int i = 1; i <= last; ++i) s += std::to_string(i) + "\n";
  return s;
}

class ExtractInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    exe_ = it::CopyInstaller(kSetup);
    target_ = testsupport::MakeTempDir(L"extractinst");
    product_ = target_ + L"\\Quillon";
  }
  void TearDown() override {
    testsupport::RemoveTree(target_);
    testsupport::RemoveTree(it::DirOf(exe_));
  }
  harness::RunResult Install() {
    return it::RunInstaller(exe_, {L"/InstallSlience", L"true", L"/InstallPath", target_});
  }
  void ExpectPayload(const std::wstring& folder) {
    EXPECT_EQ(ReadFileBytes(folder + L"\\readme.txt"), "Quillon extraction test payload\r\n");
    EXPECT_EQ(ReadFileBytes(folder + L"\\bin\\settings.ini"), "[settings]\r\nmode=test\r\n");
    EXPECT_EQ(ReadFileBytes(folder + L"\\bin\\data\\numbers.txt"), Numbers(3000));
    EXPECT_EQ(ReadFileBytes(folder + L"\\docs\\guide.txt"), "guide\r\n");
  }
  std::wstring exe_, target_, product_;
};

}  // namespace

TEST_F(ExtractInstall, OnInstallUnpacksThePayloadIntoTheInstallFolder) {
  auto r = Install();
  ASSERT_TRUE(r.started);
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(Logged(r, L"unpack"), L"true");
  EXPECT_EQ(Logged(r, L"files"), L"4");
  ExpectPayload(product_);
  EXPECT_TRUE(HasLine(r, L"UnCompress App.7z to " + product_ + L" ."));
  EXPECT_TRUE(HasLine(r, L"UnCompress successful."));
  EXPECT_TRUE(HasLine(r, L"unpacked:" + product_ + L"\\bin\\data\\numbers.txt"));
  for (const auto& line : it::Lines(r)) EXPECT_EQ(line.find(L"createerror:"), std::wstring::npos) << line;
}

TEST_F(ExtractInstall, UninstallChunkAndPayloadAreWrittenByteForByte) {
  auto r = Install();
  EXPECT_EQ(Logged(r, L"uninst"), L"true");
  const std::string chunk = StoredResource(exe_, L"LUA", L"UNINSTSCRIPT.LUAC");
  ASSERT_FALSE(chunk.empty());
  EXPECT_TRUE(ReadFileBytes(product_ + L"\\uninst.luac") == chunk);

  // The payload comes out as a plain 7z: its first two bytes put back.
  EXPECT_EQ(Logged(r, L"payload"), L"true");
  std::string stored = StoredResource(exe_, L"_7Z", L"APP.7Z");
  ASSERT_GE(stored.size(), 6u);
  EXPECT_EQ(stored.substr(0, 2), "z7");
  std::swap(stored[0], stored[1]);
  const std::string written = ReadFileBytes(product_ + L"\\payload.7z");
  EXPECT_EQ(written.substr(0, 6), std::string("7z\xBC\xAF\x27\x1C", 6));
  EXPECT_TRUE(written == stored);
}

TEST_F(ExtractInstall, SecondUnpackInTheSameProcessWorksAndAMissingFolderFails) {
  auto r = Install();
  EXPECT_EQ(Logged(r, L"again"), L"true");
  ExpectPayload(product_ + L"\\again");
  EXPECT_EQ(Logged(r, L"missing"), L"false");
  EXPECT_TRUE(HasLine(r, L"Fun:Lua_UnCompress7z, Description:" + product_ + L"\\no\\such\\folder it's not exists!"));
}
