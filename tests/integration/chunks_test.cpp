// Installers whose chunks are missing or damaged end quietly with exit 0.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer.h"

using it::HasLine;
using it::ReplaceResource;
using it::Hooks;

namespace {

std::string ReadChunk(const std::wstring& exe, const wchar_t* name) {
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  std::string bytes;
  if (!m) return bytes;
  if (HRSRC info = FindResourceW(m, name, L"LUA")) {
    HGLOBAL res = LoadResource(m, info);
    bytes.assign(static_cast<const char*>(LockResource(res)), SizeofResource(m, info));
  }
  FreeLibrary(m);
  return bytes;
}

bool ReplaceChunk(const std::wstring& exe, const wchar_t* name, const std::string* bytes) {
  return ReplaceResource(exe, L"LUA", name, bytes);
}

harness::RunResult RunSilent(const std::wstring& exe) {
  return it::RunInstaller(exe, {L"/InstallSlience", L"true", L"/TestMutexName", it::UniqueMutexName()});
}

}  // namespace

TEST(Chunks, ShippedChunksUseThe32BitLayout) {
  std::string chunk = ReadChunk(it::CopyInstaller(L"spine_setup.exe"), L"INSTSCRIPT.LUAC");
  ASSERT_GE(chunk.size(), 12u);
  EXPECT_EQ(chunk.substr(0, 5), std::string("\x1bLua\x52"));
  EXPECT_EQ(chunk[8], 4);  // size_t width
}

TEST(Chunks, MissingInstallChunkIsTracedAndEndsTheRun) {
  auto exe = it::CopyInstaller(L"spine_setup.exe");
  ASSERT_TRUE(ReplaceChunk(exe, L"INSTSCRIPT.LUAC", nullptr));
  ASSERT_TRUE(ReadChunk(exe, L"INSTSCRIPT.LUAC").empty());
  ASSERT_FALSE(ReadChunk(exe, L"GLOBAL_VAR.LUAC").empty());
  auto r = RunSilent(exe);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(HasLine(r, L"LoadResource failed. Type : LUA ID : INSTSCRIPT.LUAC"));
  EXPECT_TRUE(HasLine(r, L"DoResLua failed, INSTSCRIPT.LUAC"));
  EXPECT_TRUE(Hooks(r).empty());
  // The failure triple: file, line and error code lines, in that order.
  auto lines = it::Lines(r);
  int seen = 0;
  for (const auto& l : lines) {
    if (seen == 0 && l.compare(0, 8, L"tr file:") == 0) seen = 1;
    else if (seen == 1 && l.compare(0, 8, L"tr line:") == 0) seen = 2;
    else if (seen == 2 && l == L"tr err:" + std::to_wstring(ERROR_RESOURCE_NAME_NOT_FOUND)) seen = 3;
  }
  EXPECT_EQ(seen, 3);
}

TEST(Chunks, CorruptOrTruncatedConfigurationChunkFailsToLoad) {
  auto exe = it::CopyInstaller(L"spine_setup.exe");
  std::string good = ReadChunk(exe, L"GLOBAL_VAR.LUAC");
  ASSERT_FALSE(good.empty());

  std::string half = good.substr(0, good.size() / 2);
  ASSERT_TRUE(ReplaceChunk(exe, L"GLOBAL_VAR.LUAC", &half));
  auto r = RunSilent(exe);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(HasLine(r, L"luaL_loadbuffer failed!"));
  EXPECT_TRUE(HasLine(r, L"DoResLua failed, GLOBAL_VAR.LUAC"));
  EXPECT_TRUE(Hooks(r).empty());

  std::string junk = "\x1bLua\x52 this is no chunk";
  ASSERT_TRUE(ReplaceChunk(exe, L"GLOBAL_VAR.LUAC", &junk));
  r = RunSilent(exe);
  EXPECT_TRUE(HasLine(r, L"luaL_loadbuffer failed!"));
  EXPECT_TRUE(HasLine(r, L"DoResLua failed, GLOBAL_VAR.LUAC"));

  std::string text = "this is not lua (";
  ASSERT_TRUE(ReplaceChunk(exe, L"GLOBAL_VAR.LUAC", &text));
  r = RunSilent(exe);
  bool named = false;
  const std::wstring where = L"[string \"GLOBAL_VAR.LUAC\"]:1:";
  for (const auto& l : it::Lines(r)) named = named || l.compare(0, where.size(), where) == 0;
  EXPECT_TRUE(named);
  EXPECT_TRUE(HasLine(r, L"DoResLua failed, GLOBAL_VAR.LUAC"));
}

// Window mode needs the skin archive; without it the run ends after the
// before-init hook.
TEST(SkinArchive, MissingSkinEndsWindowModeWithItsTrace) {
  auto exe = it::CopyInstaller(L"spine_setup.exe");
  ASSERT_TRUE(ReplaceResource(exe, L"ZIP", L"#249", nullptr));
  auto r = it::RunInstaller(exe, {L"/TestMutexName", it::UniqueMutexName()});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(Hooks(r), std::vector<std::wstring>{L"BrixSE_BeforeInit"});
  EXPECT_TRUE(HasLine(r, L"LoadResource failed. type : XML, id : LAYOUT.XMLtr err:" +
                             std::to_wstring(ERROR_RESOURCE_TYPE_NOT_FOUND)) ||
              HasLine(r, L"LoadResource failed. type : XML, id : LAYOUT.XMLtr err:" +
                             std::to_wstring(ERROR_RESOURCE_NAME_NOT_FOUND)));
}

