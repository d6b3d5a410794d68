// The archives in the installer packed from tests/packer/fixture, read by
// the code that reads them when it runs: the payload and the uninstaller
// through the installer's own unpacking (the function behind
// Lua_UnCompress7z), the skin through the toolkit's ZIP reader.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "functions/extract/archivesource.h"
#include "functions/extract/extractarchive.h"
#include "skinarchive.h"
#include "testpaths.h"

namespace {

// The fixture's source folder, as Wine shows the Linux path.
std::wstring FixturePath(const std::wstring& relative) {
  std::wstring path = L"Z:" QUILL_PACKER_FIXTURE L"/" + relative;
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

class PackedArchives : public ::testing::TestWithParam<const wchar_t*> {
 protected:
  void SetUp() override {
    const std::wstring path = testsupport::BinPath(GetParam());
    if (!testsupport::FileExists(path)) GTEST_SKIP() << "not built (no i686 compiler?)";
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "error " << GetLastError();
    temp_ = testsupport::MakeTempDir(L"packed_archives");
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
    if (!temp_.empty()) testsupport::RemoveTree(temp_);
  }

  static std::string Resource(HMODULE module, LPCWSTR type, LPCWSTR name) {
    HRSRC info = FindResourceW(module, name, type);
    if (!info) return std::string();
    HGLOBAL loaded = LoadResource(module, info);
    const void* p = loaded ? LockResource(loaded) : nullptr;
    return p ? std::string(static_cast<const char*>(p), SizeofResource(module, info)) : std::string();
  }

  // Unpacks the "_7Z" resource as Lua_UnCompress7z does: in place, its
  // first two bytes exchanged back as they are read.
  brix::ExtractResult Unpack(const wchar_t* name, const std::wstring& into) {
    const std::string archive = Resource(module_, L"_7Z", name);
    brix::MemorySource source(reinterpret_cast<const Byte*>(archive.data()), archive.size(), true);
    return brix::ExtractArchive(source, into, nullptr, nullptr);
  }

  HMODULE module_ = nullptr;
  std::wstring temp_;
};

INSTANTIATE_TEST_SUITE_P(Stubs, PackedArchives,
                         ::testing::Values(L"packer_fixture_setup.exe", L"packer_fixture_setup32.exe"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                           return std::string(info.index == 0 ? "PE32Plus" : "PE32");
                         });

TEST_P(PackedArchives, PayloadUnpacksIntoTheFixturesFiles) {
  ASSERT_TRUE(Unpack(L"APP.7Z", temp_).Ok());
  for (const wchar_t* file : {L"readme.txt", L"bin\\settings.ini", L"bin\\data\\blob.txt"}) {
    const std::string expected = testsupport::ReadFileBytes(FixturePath(std::wstring(L"payload\\") + file));
    ASSERT_FALSE(expected.empty()) << "fixture file missing";
    EXPECT_EQ(expected, testsupport::ReadFileBytes(temp_ + L"\\" + file)) << "differs";
    // Writable files are stored as "archive" only: nothing for the
    // installer to set after writing them.
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW((temp_ + L"\\" + file).c_str()));
  }
}

TEST_P(PackedArchives, UninstallerUnpacksToTheStubInItsUninstallerRole) {
  ASSERT_TRUE(Unpack(L"UNINST.7Z", temp_).Ok());
  const std::wstring exe = temp_ + L"\\uninst.exe";
  HMODULE uninstaller = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, uninstaller) << "uninst.exe is no loadable image, error " << GetLastError();
  EXPECT_EQ("uninstaller", Resource(uninstaller, L"CFG", L"ROLE"));
  EXPECT_FALSE(Resource(uninstaller, L"LUA", L"GLOBAL_VAR.LUAC").empty());
  EXPECT_FALSE(Resource(uninstaller, L"LUA", L"UNINSTSCRIPT.LUAC").empty());
  EXPECT_TRUE(Resource(uninstaller, L"LUA", L"INSTSCRIPT.LUAC").empty()) << "the install chunk is not its";
  EXPECT_TRUE(Resource(uninstaller, L"ZIP", MAKEINTRESOURCEW(249)).empty()) << "it shows no skinned window";
  EXPECT_TRUE(Resource(uninstaller, L"_7Z", L"APP.7Z").empty()) << "no payload";
  EXPECT_FALSE(Resource(uninstaller, RT_GROUP_ICON, MAKEINTRESOURCEW(128)).empty());
  EXPECT_FALSE(Resource(uninstaller, RT_VERSION, MAKEINTRESOURCEW(1)).empty());
  EXPECT_EQ(Resource(module_, L"CFG", L"COUNTER_HOST"), Resource(uninstaller, L"CFG", L"COUNTER_HOST"));
  FreeLibrary(uninstaller);
}

TEST_P(PackedArchives, SkinReadsThroughTheToolkitsZipReader) {
  const std::string zip = Resource(module_, L"ZIP", MAKEINTRESOURCEW(249));
  brixui::SkinArchive skin;
  ASSERT_TRUE(skin.Open(zip.data(), zip.size(), "", "packed skin"));
  ASSERT_EQ((std::vector<std::string>{"Images/dot.png", "Layout/Layout.xml"}), skin.Names());
  for (const std::string& name : skin.Names()) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(skin.Read(name, bytes)) << name;
    const std::string expected = testsupport::ReadFileBytes(FixturePath(L"skin/" + std::wstring(name.begin(), name.end())));
    EXPECT_EQ(expected, std::string(bytes.begin(), bytes.end())) << name;
  }
}

}  // namespace
