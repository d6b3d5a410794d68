// What the host functions give a chunk in each build: the i686 build (the
// shipped installer) runs as a 32-bit process on 64-bit Windows, where
// WoW64 redirects HKLM\Software, System32 and the program-files folder; the
// x86_64 build sees the machine as it is. Each test checks its build's own
// answer, found without the code under test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "scripttest.h"
#include "testpaths.h"

using scripttest::Eval;
using scripttest::Lit;

namespace {

constexpr bool k32 = sizeof(void*) == 4;

bool NativeIsX64() {
  SYSTEM_INFO info = {};
  GetNativeSystemInfo(&info);
  return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

// Whether a value exists under HKLM in the given registry view.
bool HasValue(REGSAM view, const wchar_t* key, const wchar_t* value) {
  HKEY k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &k) != ERROR_SUCCESS) return false;
  const bool found = RegQueryValueExW(k, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

void SetValue(REGSAM view, const wchar_t* key, const wchar_t* value, const std::wstring& text) {
  HKEY k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE | view, nullptr, &k, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(k, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(k);
}

void DeleteInBothViews(const wchar_t* key) {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key, view, 0);
}

// One key per test process: ctest runs these tests in parallel processes.
const std::wstring kName = L"QuillWordSize" + std::to_wstring(GetCurrentProcessId());
const std::wstring kKeyText = L"Software\\" + kName;
const wchar_t* const kKey = kKeyText.c_str();
const std::wstring kRedirected = L"Software\\WOW6432Node\\" + kName;
const std::string K = Lit(kKeyText);

class WordSizeRegistry : public ::testing::Test {
 protected:
  void SetUp() override { DeleteInBothViews(kKey); }
  void TearDown() override {
    DeleteInBothViews(kKey);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
  }
};

}  // namespace

TEST(WordSize, IsWow64OnlyForA32BitProcessOn64BitWindows) {
  const bool expected = k32 && NativeIsX64();
  EXPECT_EQ(Eval("r = tostring(Lua_IsWow64())"), expected ? L"true" : L"false");
  // Where these tests run, the i686 build is always under WoW64.
  if (k32) {
    EXPECT_TRUE(expected) << "the i686 tests expect a 64-bit Wine prefix";
  }
}

// A chunk's HKLM\Software writes land in the 32-bit view (WOW6432Node) in the
// i686 build and are read back from there; what a 64-bit program wrote is
// not seen. HKCU\Software is shared by both views.
TEST_F(WordSizeRegistry, HklmSoftwareIsTheProcessOwnView) {
  ASSERT_EQ(Eval("r = Lua_RegAdd('HKLM', " + K + ", 'chunk', 'REG_SZ', 'written', true)"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKLM', " + K + ", 'chunk')"), L"written");
  if (k32) {
    EXPECT_FALSE(HasValue(KEY_WOW64_64KEY, kKey, L"chunk"));
    EXPECT_TRUE(HasValue(KEY_WOW64_64KEY, kRedirected.c_str(), L"chunk"));
    EXPECT_TRUE(HasValue(KEY_WOW64_32KEY, kKey, L"chunk"));
  } else {
    EXPECT_TRUE(HasValue(KEY_WOW64_64KEY, kKey, L"chunk"));
    EXPECT_FALSE(HasValue(KEY_WOW64_32KEY, kKey, L"chunk"));
  }

  SetValue(KEY_WOW64_64KEY, kKey, L"from64", L"sixty-four");
  SetValue(KEY_WOW64_32KEY, kKey, L"from32", L"thirty-two");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKLM', " + K + ", 'from64')"), k32 ? L"nil" : L"sixty-four");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKLM', " + K + ", 'from32')"), k32 ? L"thirty-two" : L"nil");

  // Deleting the key deletes it in the process's own view only.
  EXPECT_EQ(Eval("r = Lua_RegDel('HKLM', " + K + ")"), L"true");
  EXPECT_EQ(HasValue(KEY_WOW64_64KEY, kKey, L"from64"), k32);
  EXPECT_EQ(HasValue(KEY_WOW64_32KEY, kKey, L"from32"), !k32);
}

TEST_F(WordSizeRegistry, HkcuSoftwareIsShared) {
  ASSERT_EQ(Eval("r = Lua_RegAdd('HKCU', " + K + ", 'user', 'REG_SZ', 'u', true)"), L"true");
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY k;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ | view, &k), ERROR_SUCCESS) << view;
    EXPECT_EQ(RegQueryValueExW(k, L"user", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS) << view;
    RegCloseKey(k);
  }
  HKEY k;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kRedirected.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
}

// %ProgramFiles% (the sample installs under it) is "Program Files (x86)" for
// the i686 build; %ProgramW6432% names the 64-bit folder in both.
TEST(WordSize, ProgramFilesFolderOfThisBuild) {
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('%ProgramFiles%')"),
            k32 ? L"C:\\Program Files (x86)" : L"C:\\Program Files");
  EXPECT_EQ(Eval("Lua_RegVarByCSIDL('QPF', 38) r = Lua_ExpandEnv('%QPF%')"),
            k32 ? L"C:\\Program Files (x86)" : L"C:\\Program Files");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('%ProgramW6432%')"), L"C:\\Program Files");
}

// A chunk's copy into or out of System32 goes to SysWOW64 in the i686 build
// (32-bit system files); the x86_64 build gets the real folder.
TEST(WordSize, System32IsRedirectedForThe32BitBuild) {
  wchar_t sys[MAX_PATH] = {}, wow[MAX_PATH] = {}, windows[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryW(sys, MAX_PATH), 0u);
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  ASSERT_GT(GetSystemWow64DirectoryW(wow, MAX_PATH), 0u) << "a 64-bit prefix has SysWOW64";
  std::wstring dir = testsupport::MakeTempDir(L"wordsize");
  ASSERT_FALSE(dir.empty());

  // Out of System32: which kernel32.dll arrives.
  ASSERT_EQ(Eval("r = Lua_CopyFile('%SystemRoot%\\\\System32\\\\kernel32.dll', " + Lit(dir + L"\\k32.dll") + ")"),
            L"true");
  const std::string copy = testsupport::ReadFileBytes(dir + L"\\k32.dll");
  ASSERT_GT(copy.size(), 0x40u);
  const uint32_t pe = *reinterpret_cast<const uint32_t*>(copy.data() + 0x3C);
  ASSERT_LT(pe + 6, copy.size());
  const uint16_t machine = *reinterpret_cast<const uint16_t*>(copy.data() + pe + 4);
  EXPECT_EQ(machine, k32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64);

  // Into System32: where the file lands. Sysnative names the real System32
  // for a 32-bit process only.
  const std::wstring name = L"quill_wordsize_" + std::to_wstring(GetCurrentProcessId()) + L".txt";
  testsupport::WriteFileBytes(dir + L"\\" + name, "x");
  ASSERT_EQ(Eval("r = Lua_CopyFile(" + Lit(dir + L"\\" + name) + ", '%SystemRoot%\\\\System32\\\\" +
                 brix::WideToUtf8(name) + "')"),
            L"true");
  const std::wstring inWow = std::wstring(wow) + L"\\" + name;
  const std::wstring inReal = k32 ? std::wstring(windows) + L"\\Sysnative\\" + name : std::wstring(sys) + L"\\" + name;
  EXPECT_EQ(testsupport::FileExists(inWow), k32);
  EXPECT_TRUE(testsupport::FileExists(inReal) != k32);
  DeleteFileW(inWow.c_str());
  DeleteFileW(inReal.c_str());
  testsupport::RemoveTree(dir);
}
