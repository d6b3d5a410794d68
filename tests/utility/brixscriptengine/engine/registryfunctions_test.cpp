#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scripttest.h"

using scripttest::Eval;

namespace {

// One key per test process: ctest runs these tests in parallel processes,
// and other test programs keep keys of their own under Software\QuillTest.
const std::wstring kKeyText = L"Software\\QuillTest\\Registry" + std::to_wstring(GetCurrentProcessId());
const wchar_t* const kKey = kKeyText.c_str();

class RegistryFunctions : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }
  DWORD Type(const wchar_t* value) {
    DWORD type = 0;
    RegGetValueW(HKEY_CURRENT_USER, kKey, value, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, nullptr);
    return type;
  }
  std::vector<BYTE> Bytes(const wchar_t* value) {
    DWORD size = 0;
    RegGetValueW(HKEY_CURRENT_USER, kKey, value, RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size);
    std::vector<BYTE> b(size);
    RegGetValueW(HKEY_CURRENT_USER, kKey, value, RRF_RT_ANY | RRF_NOEXPAND, nullptr, b.data(), &size);
    b.resize(size);
    return b;
  }
  bool KeyExists(const wchar_t* key) {
    HKEY k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  }
};

const std::string K = scripttest::Lit(kKeyText);

}  // namespace

TEST_F(RegistryFunctions, TextTypesAndExpansion) {
  EXPECT_EQ(Eval("r = Lua_RegAdd('HKCU', " + K + ", 'Path', 'REG_SZ', '%TEMP%\\\\q', true)"), L"true");
  wchar_t tmp[MAX_PATH] = {};
  ExpandEnvironmentStringsW(L"%TEMP%\\q", tmp, MAX_PATH);
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'Path')"), tmp);
  EXPECT_EQ(Type(L"Path"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Eval("Lua_RegAdd('HKCU', " + K + ", 'Lit', 'REG_EXPAND_SZ', '%TEMP%\\\\q', true) r = Lua_RegQuery('HKCU', " + K +
                 ", 'Lit')"),
            L"%TEMP%\\q");
  EXPECT_EQ(Type(L"Lit"), static_cast<DWORD>(REG_SZ));  // stored as REG_SZ on purpose
  EXPECT_EQ(Eval("Lua_RegAdd('HKCU', " + K + ", '', 'REG_SZ', '默认', true) r = Lua_RegQuery('HKCU', " + K + ", '')"),
            L"默认");
}

TEST_F(RegistryFunctions, DwordsAreUnsigned32Bit) {
  EXPECT_EQ(Eval("Lua_RegAdd('HKCU', " + K + ", 'D', 'REG_DWORD', 4294967295, true) r = Lua_RegQuery('HKCU', " + K +
                 ", 'D')"),
            L"4294967295");
  EXPECT_EQ(Eval("Lua_RegAdd('HKCU', " + K + ", 'D', 'REG_DWORD', '12', true) r = Lua_RegQuery('HKCU', " + K + ", 'D')"),
            L"12");
  EXPECT_EQ(Eval("Lua_RegAdd('HKCU', " + K + ", 'D', 'REG_DWORD', 'abc', true) r = Lua_RegQuery('HKCU', " + K +
                 ", 'D')"),
            L"0");
}

TEST_F(RegistryFunctions, BinaryIsDecodedFromHexAndNotReadBack) {
  Eval("Lua_RegAdd('HKCU', " + K + ", 'B', 'REG_BINARY', '0a1B', true)");
  EXPECT_EQ(Bytes(L"B"), (std::vector<BYTE>{0x0A, 0x1B}));
  Eval("Lua_RegAdd('HKCU', " + K + ", 'Odd', 'REG_BINARY', 'ABC', true)");
  EXPECT_EQ(Bytes(L"Odd"), (std::vector<BYTE>{0xAB, 0x0C}));
  Eval("Lua_RegAdd('HKCU', " + K + ", 'E', 'REG_BINARY', '', true)");
  EXPECT_EQ(Type(L"E"), static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(Bytes(L"E").empty());
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'B')"), L"nil");
}

TEST_F(RegistryFunctions, OverwriteFlagKeepsOrReplacesAnExistingValue) {
  Eval("Lua_RegAdd('HKCU', " + K + ", 'V', 'REG_SZ', 'first', false)");
  EXPECT_EQ(Eval("r = Lua_RegAdd('HKCU', " + K + ", 'V', 'REG_SZ', 'second', false)"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'V')"), L"first");
  Eval("Lua_RegAdd('HKCU', " + K + ", 'V', 'REG_DWORD', 7, 1)");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'V')"), L"7");
}

TEST_F(RegistryFunctions, UnknownTypeOrRootWritesNothingButSucceeds) {
  EXPECT_EQ(Eval("r = Lua_RegAdd('HKCU', " + K + ", 'M', 'REG_MULTI_SZ', 'x', true)"), L"true");
  EXPECT_TRUE(KeyExists(kKey));
  EXPECT_EQ(Type(L"M"), 0u);
  EXPECT_EQ(Eval("r = Lua_RegAdd('hkcu', 'Software\\\\QuillTest\\\\Lower', 'v', 'REG_SZ', 'x', true)"), L"true");
  EXPECT_FALSE(KeyExists(L"Software\\QuillTest\\Lower"));
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', 'Software\\\\QuillTest\\\\None', 'v')"), L"nil");
}

TEST_F(RegistryFunctions, DeleteValueOrWholeTree) {
  Eval("Lua_RegAdd('HKCU', " + K + ", 'A', 'REG_SZ', 'a', true)");
  Eval("Lua_RegAdd('HKCU', " + K + ", 'B', 'REG_SZ', 'b', true)");
  Eval("Lua_RegAdd('HKCU', " + scripttest::Lit(kKeyText + L"\\x\\y\\z") + ", 'deep', 'REG_SZ', 'd', true)");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', " + K + ", 'A')"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'A')"), L"nil");
  EXPECT_EQ(Eval("r = Lua_RegQuery('HKCU', " + K + ", 'B')"), L"b");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', " + K + ")"), L"true");
  EXPECT_FALSE(KeyExists(kKey));
  EXPECT_TRUE(KeyExists(L"Software\\QuillTest"));
  EXPECT_EQ(Eval("r = Lua_RegDel('hkcu', 'Software')"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', 'Software\\\\QuillTest\\\\Missing')"), L"true");
}

TEST_F(RegistryFunctions, AnEmptySubkeyNeverDeletesTheRoot) {
  Eval("Lua_RegAdd('HKCU', " + K + ", 'A', 'REG_SZ', 'a', true)");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', '')"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', nil)"), L"true");
  EXPECT_EQ(Eval("r = Lua_RegDel('HKCU', '\\\\')"), L"true");
  EXPECT_TRUE(KeyExists(kKey));
  EXPECT_TRUE(KeyExists(L"Software"));
}
