// The installer packed from tests/packer/fixture, read back through the
// same Windows functions the installer and the shell use.
#include <windows.h>
#include <imagehlp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "chunklayout.h"
#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "testpaths.h"

namespace {

const wchar_t kPacked[] = L"packer_fixture_setup.exe";
const wchar_t kPacked32[] = L"packer_fixture_setup32.exe";

uint32_t U32(const std::string& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
uint16_t U16(const std::string& b, size_t at) {
  uint16_t v;
  std::memcpy(&v, b.data() + at, 2);
  return v;
}

uint32_t Crc32(const std::string& b, size_t from, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = from; i < from + n; ++i) {
    crc ^= uint8_t(b[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// Each test runs on both packed files: the real (x86_64) stub and a
// 32-bit stand-in.
class PackedInstaller : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    path_ = testsupport::BinPath(GetParam());
    if (!testsupport::FileExists(path_)) GTEST_SKIP() << "not built (no i686 compiler?)";
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "cannot open the packed installer, error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // The resource's bytes; empty when it is missing.
  std::string Resource(LPCWSTR type, LPCWSTR name) const {
    HRSRC info = FindResourceW(module_, name, type);
    if (!info) return std::string();
    HGLOBAL loaded = LoadResource(module_, info);
    const void* p = loaded ? LockResource(loaded) : nullptr;
    return p ? std::string(static_cast<const char*>(p), SizeofResource(module_, info)) : std::string();
  }

  std::wstring path_;
  HMODULE module_ = nullptr;
};

INSTANTIATE_TEST_SUITE_P(Stubs, PackedInstaller, ::testing::Values(kPacked, kPacked32),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           return std::string(info.param == kPacked ? "PE32Plus" : "PE32");
                         });

// The i686 build's loader reads the shipped 32-bit layout as it is; the
// x86_64 one needs it converted.
std::string ForThisLoader(const std::string& chunk) {
  if (sizeof(size_t) == 4) return chunk;
  std::string out, error;
  EXPECT_TRUE(brix::ConvertChunkLayout(chunk.data(), chunk.size(), 8, false, out, error)) << error;
  return out;
}

TEST_P(PackedInstaller, ChunksAreInTheThirtyTwoBitLayoutWithoutDebugInfo) {
  for (const wchar_t* name : {L"GLOBAL_VAR.LUAC", L"INSTSCRIPT.LUAC", L"UNINSTSCRIPT.LUAC"}) {
    const std::string chunk = Resource(L"LUA", name);
    ASSERT_GE(chunk.size(), 18u) << "chunk resource missing or short";
    EXPECT_EQ(0, chunk.compare(0, 5, "\x1bLua\x52"));
    EXPECT_EQ(4, chunk[8]) << "size_t width";
    std::string stripped, error;
    ASSERT_TRUE(brix::ConvertChunkLayout(chunk.data(), chunk.size(), 4, true, stripped, error)) << error;
    EXPECT_EQ(chunk, stripped) << "stripping again changes nothing: no debug information left";
  }
  // Lookups upper-case the name asked for, as the scripts' "App.7z" relies on.
  EXPECT_FALSE(Resource(L"lua", L"instscript.luac").empty());
}

TEST_P(PackedInstaller, ChunksRunOnThisBuildsLoader) {
  lua_State* L = luaL_newstate();
  luaL_openlibs(L);
  for (const wchar_t* name : {L"GLOBAL_VAR.LUAC", L"INSTSCRIPT.LUAC", L"UNINSTSCRIPT.LUAC"}) {
    const std::string chunk = ForThisLoader(Resource(L"LUA", name));
    ASSERT_EQ(LUA_OK, luaL_loadbuffer(L, chunk.data(), chunk.size(), "chunk")) << lua_tostring(L, -1);
    ASSERT_EQ(LUA_OK, lua_pcall(L, 0, 0, 0)) << lua_tostring(L, -1);
  }
  const char* probe =
      "local ok, msg = pcall(FixtureFail)\n"
      "return global_product_name, #fixture_long_text, FixtureSum(1, 2, 3), fixture_uninstall.steps, msg";
  ASSERT_EQ(LUA_OK, luaL_dostring(L, probe)) << lua_tostring(L, -1);
  EXPECT_STREQ("\xE7\xBE\xBD\xE7\xAC\x94\xE6\xB5\x8B\xE8\xAF\x95", lua_tostring(L, 1));  // UTF-8 kept
  EXPECT_EQ(400, lua_tointeger(L, 2));
  EXPECT_EQ(6, lua_tointeger(L, 3));
  EXPECT_EQ(3, lua_tointeger(L, 4));
  EXPECT_EQ(0, std::strncmp("?:0: attempt to index", lua_tostring(L, 5), 21)) << lua_tostring(L, 5);
  lua_close(L);
}

TEST_P(PackedInstaller, SkinIsAZipWithNamesRelativeToTheSkinFolder) {
  const std::string zip = Resource(L"ZIP", MAKEINTRESOURCEW(249));
  ASSERT_GE(zip.size(), 22u);
  EXPECT_EQ(0, zip.compare(0, 4, "PK\x03\x04"));
  size_t end = zip.size() - 22;
  while (end > 0 && U32(zip, end) != 0x06054B50) --end;
  ASSERT_EQ(0x06054B50u, U32(zip, end)) << "no end of central directory";
  std::vector<std::string> names;
  size_t at = U32(zip, end + 16);
  for (uint16_t i = 0; i < U16(zip, end + 10); ++i) {
    ASSERT_EQ(0x02014B50u, U32(zip, at));
    const uint16_t n = U16(zip, at + 28);
    names.push_back(zip.substr(at + 46, n));
    at += 46 + n + U16(zip, at + 30) + U16(zip, at + 32);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"Images/dot.png", "Layout/Layout.xml"}), names);
}

TEST_P(PackedInstaller, PayloadIsA7zArchiveWithItsFirstBytesExchanged) {
  std::string archive = Resource(L"_7Z", L"App.7z");
  ASSERT_GE(archive.size(), 32u);
  EXPECT_EQ(0, archive.compare(0, 6, "z7\xBC\xAF\x27\x1C"));
  std::swap(archive[0], archive[1]);
  // The start header's CRC, and the header it points to, which must end
  // exactly at the end of the resource and match its own CRC.
  EXPECT_EQ(U32(archive, 8), Crc32(archive, 12, 20));
  const uint64_t nextOffset = U32(archive, 12) | uint64_t(U32(archive, 16)) << 32;
  const uint64_t nextSize = U32(archive, 20) | uint64_t(U32(archive, 24)) << 32;
  ASSERT_EQ(archive.size(), 32 + nextOffset + nextSize);
  EXPECT_GT(nextSize, 0u) << "the fixture's payload has files";
  EXPECT_EQ(U32(archive, 28), Crc32(archive, size_t(32 + nextOffset), size_t(nextSize)));
}

TEST_P(PackedInstaller, UninstallerIsACompressedArchiveNotASecondProgram) {
  const std::string archive = Resource(L"_7Z", L"UNINST.7Z");
  ASSERT_GE(archive.size(), 32u);
  EXPECT_EQ(0, archive.compare(0, 6, "z7\xBC\xAF\x27\x1C")) << "first two bytes exchanged, as APP.7Z";
  EXPECT_TRUE(Resource(L"BIN", L"UNINST.EXE").empty());
}

TEST_P(PackedInstaller, IconGroup128RefersToItsIcons) {
  const std::string group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEW(128));
  ASSERT_GE(group.size(), 6u);
  const uint16_t count = U16(group, 4);
  ASSERT_EQ(4, count) << "256, 48, 32 and 16 pixels";
  ASSERT_EQ(6u + 14u * count, group.size());
  for (uint16_t i = 0; i < count; ++i) {
    const size_t e = 6 + 14 * i;
    const std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(U16(group, e + 12)));
    EXPECT_EQ(U32(group, e + 8), image.size()) << "icon " << i;
    EXPECT_EQ(32, U16(group, e + 6)) << "bit count";
  }
  // As LoadIcon does it: pick the 32-pixel image and make an icon of it.
  const int id = LookupIconIdFromDirectoryEx(
      reinterpret_cast<PBYTE>(const_cast<char*>(group.data())), TRUE, 32, 32, LR_DEFAULTCOLOR);
  ASSERT_EQ(3, id) << "the third image of the file is the 32-pixel one";
  std::string image = Resource(RT_ICON, MAKEINTRESOURCEW(id));
  HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(image.data()), DWORD(image.size()), TRUE,
                                        0x00030000, 32, 32, LR_DEFAULTCOLOR);
  ASSERT_NE(nullptr, icon);
  DestroyIcon(icon);
}

std::wstring VersionString(const std::vector<char>& block, const wchar_t* key) {
  void* value = nullptr;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + key;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || !value) return L"<missing>";
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST_P(PackedInstaller, VersionResourceReadsBack) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u) << GetLastError();
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(0x00020000u, fixed->dwFileVersionMS);
  EXPECT_EQ(0x00000012u, fixed->dwFileVersionLS);
  EXPECT_EQ(0x00020000u, fixed->dwProductVersionMS);
  EXPECT_EQ(0x00000012u, fixed->dwProductVersionLS);
  EXPECT_EQ(DWORD(VOS_NT_WINDOWS32), fixed->dwFileOS);
  EXPECT_EQ(DWORD(VFT_APP), fixed->dwFileType);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(4u, length);
  EXPECT_EQ(0x0804, translation[0]);
  EXPECT_EQ(1200, translation[1]);

  EXPECT_EQ(L"2.0.0.18", VersionString(block, L"ProductVersion"));
  EXPECT_EQ(L"2.0.0.18", VersionString(block, L"FileVersion"));
  EXPECT_EQ(L"\u7fbd\u7b14\u6d4b\u8bd5", VersionString(block, L"ProductName"));
  EXPECT_EQ(L"Harlow Software", VersionString(block, L"CompanyName"));
  EXPECT_EQ(L"Packer fixture setup", VersionString(block, L"FileDescription"));
  EXPECT_EQ(L"Copyright (C) Harlow Software", VersionString(block, L"LegalCopyright"));
  EXPECT_EQ(L"setup.exe", VersionString(block, L"OriginalFilename"));
}

// Each version text at the packer's limit of 4096 UTF-16 units: all four
// fit in the resource's 16-bit lengths and read back whole, and the strings
// after them are still found.
TEST(PackedInstallerLongTexts, EveryVersionTextReadsBackWhole) {
  const std::wstring path = testsupport::BinPath(L"packer_long_setup.exe");
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_GT(size, 4 * 8192u) << GetLastError();
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  std::wstring company;
  for (int i = 0; i < 2048; ++i) company += L"\xD83D\xDD8B";  // U+1F58B
  EXPECT_EQ(std::wstring(4096, L'N'), VersionString(block, L"ProductName"));
  EXPECT_EQ(company, VersionString(block, L"CompanyName"));
  EXPECT_EQ(std::wstring(4096, L'\u7fbd'), VersionString(block, L"FileDescription"));
  EXPECT_EQ(std::wstring(4096, L'C'), VersionString(block, L"LegalCopyright"));
  EXPECT_EQ(L"2.0.0.18", VersionString(block, L"FileVersion"));
  EXPECT_EQ(L"2.0.0.18", VersionString(block, L"ProductVersion"));
  EXPECT_EQ(L"setup.exe", VersionString(block, L"OriginalFilename"));
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(4u, length);
}

TEST_P(PackedInstaller, DeploymentSettingsAreCfgResources) {
  EXPECT_EQ(Resource(L"CFG", L"COUNTER_HOST"), "counter.invalid");
  EXPECT_TRUE(Resource(L"CFG", L"STAT_HOST").empty());  // not set: the installer's default applies
}

TEST_P(PackedInstaller, ManifestCarriesTheRequestedLevel) {
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEW(1));
  EXPECT_NE(std::string::npos, manifest.find("level=\"highestAvailable\""));
  EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"));
}

TEST_P(PackedInstaller, HeaderChecksumMatchesTheFile) {
  DWORD header = 0, computed = 0;
  ASSERT_EQ(DWORD(CHECKSUM_SUCCESS),
            MapFileAndCheckSumW(path_.c_str(), &header, &computed));
  EXPECT_NE(0u, header);
  EXPECT_EQ(computed, header);
}

// Silent mode and the fixture's settings (no hooks, no product, an
// instance object of its own) make the installer end by itself. It runs
// from a copy, as it schedules its own file for deletion.
TEST(PackedInstallerRun, StartsAndExits) {
  const std::wstring dir = testsupport::MakeTempDir(L"packed");
  const std::wstring exe = dir + L"\\setup.exe";
  ASSERT_TRUE(CopyFileW(testsupport::BinPath(kPacked).c_str(), exe.c_str(), FALSE));
  std::wstring cmd = L"\"" + exe + L"\" /InstallSlience true";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &si, &pi))
      << GetLastError();
  const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  testsupport::RemoveTree(dir);
  ASSERT_EQ(WAIT_OBJECT_0, waited) << "the packed installer did not end within 60 s";
  EXPECT_EQ(0u, code) << std::hex << "exit code 0x" << code;
}

}  // namespace
