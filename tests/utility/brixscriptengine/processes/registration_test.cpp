// Component registration (Lua_RegSvr32, Lua_RegistDll) with a test
// component that marks its registration under HKCU, and the flag bits of
// Lua_CefRegister.
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "systest.h"

using namespace systest;

namespace {

const wchar_t kMarks[] = L"Software\\QuillTest\\ComMarks";

bool Marked(const std::wstring& dllName) {
  DWORD value = 0, size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, kMarks, dllName.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size) ==
         ERROR_SUCCESS;
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = testsupport::MakeTempDir(L"reg");
    ASSERT_FALSE(dir_.empty());
    // The library the component needs sits only beside it.
    ASSERT_TRUE(CopyFileW(testsupport::BinPath(L"comdep\\comfixturedep.dll").c_str(),
                          (dir_ + L"\\comfixturedep.dll").c_str(), FALSE));
  }
  void TearDown() override {
    for (const auto& n : names_) RegDeleteKeyValueW(HKEY_CURRENT_USER, kMarks, n.c_str());
    testsupport::RemoveTree(dir_);
  }
  // comfixture.dll under a name of its own (the name keys its mark).
  std::wstring Component(const std::wstring& tag) {
    const std::wstring name = Unique(tag) + L".dll";
    names_.push_back(name);
    const std::wstring path = dir_ + L"\\" + name;
    EXPECT_TRUE(CopyFileW(testsupport::BinPath(L"comfixture.dll").c_str(), path.c_str(), FALSE));
    return path;
  }
  static std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

  std::wstring dir_;
  std::vector<std::wstring> names_;
};

}  // namespace

// --- Lua_RegSvr32 ----------------------------------------------------------

TEST_F(Registration, RegSvr32RunsTheEntryPoints) {
  const std::wstring dll = Component(L"qcom");
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(dll) + ", true)"), L"true");
  EXPECT_TRUE(Marked(NameOf(dll)));
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(dll) + ", false)"), L"true");
  EXPECT_FALSE(Marked(NameOf(dll)));
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(dll) + ", 1)"), L"true");
  EXPECT_TRUE(Marked(NameOf(dll)));
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(dll) + ")"), L"true") << "no flag: unregister";
  EXPECT_FALSE(Marked(NameOf(dll)));
  // The library was released: the file can go.
  EXPECT_TRUE(DeleteFileW(dll.c_str()));
}

TEST_F(Registration, RegSvr32Failures) {
  // An entry point that reports failure.
  const std::wstring failing = Component(L"qcom_fail");
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(failing) + ", true)"), L"false");
  // No entry points at all.
  const std::wstring plain = testsupport::BinPath(L"plainfixture.dll");
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(plain) + ", true)"), L"false");
  EXPECT_EQ(Eval("r = Lua_RegSvr32(" + Lit(plain) + ", false)"), L"false");

  const std::wstring missing = dir_ + L"\\nothere.dll";
  ScriptRun run = RunScript("r = Lua_RegSvr32(" + Lit(missing) + ", true)");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Fun:Lua_RegSvr32, Description:" + missing + L" it's not exists!"));

  const std::wstring notALibrary = dir_ + L"\\text.dll";
  ASSERT_TRUE(testsupport::WriteFileBytes(notALibrary, "not a library"));
  run = RunScript("r = Lua_RegSvr32(" + Lit(notALibrary) + ", true)");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Fun:Lua_RegSvr32, Description: LoadLibrary " + notALibrary + L" Failed!"));
}

TEST_F(Registration, RegSvr32LeavesTheCallersApartmentAlone) {
  const std::wstring dll = Component(L"qcom_mta");
  HRESULT after = E_FAIL;
  std::wstring result;
  std::thread t([&] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = Eval("r = Lua_RegSvr32(" + Lit(dll) + ", true)");
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoUninitialize();
    CoUninitialize();
  });
  t.join();
  EXPECT_EQ(result, L"true");
  EXPECT_EQ(after, S_FALSE) << "the thread's own initialisation was undone";
}

// --- Lua_RegistDll ---------------------------------------------------------

TEST_F(Registration, RegistDllStartsTheRegistrationTool) {
  const std::wstring dll = Component(L"qtool");
  EXPECT_EQ(Eval("r = Lua_RegistDll(" + Lit(dll) + ", '/s')"), L"true");
  EXPECT_TRUE(WaitUntil([&] { return Marked(NameOf(dll)); }, 30000));
  EXPECT_EQ(Eval("r = Lua_RegistDll(" + Lit(dll) + ", '/u /s')"), L"true");
  EXPECT_TRUE(WaitUntil([&] { return !Marked(NameOf(dll)); }, 30000));
}

TEST_F(Registration, RegistDllPassesPathsTheAnsiCodePageCannotSpell) {
  // Not in code page 936 (nor 1252): an 8-bit command line would lose them.
  const std::wstring dll = Component(L"qtool_\u015f\u0151");
  EXPECT_EQ(Eval("r = Lua_RegistDll(" + Lit(dll) + ", '/s')"), L"true");
  EXPECT_TRUE(WaitUntil([&] { return Marked(NameOf(dll)); }, 30000));
}

TEST_F(Registration, RegistDllOfAMissingFileIsFalse) {
  const std::wstring missing = dir_ + L"\\nothere.dll";
  ScriptRun run = RunScript("r = Lua_RegistDll(" + Lit(missing) + ", '/s')");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Fun:Lua_RegistDll, Description:" + missing + L" it's not exists!"));
}

// --- Lua_CefRegister -------------------------------------------------------

class CefRegister : public ::testing::Test {
 protected:
  void SetUp() override {
    subkey_ = L"Software\\QuillTest\\" + Unique(L"Cef");
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subkey_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, subkey_.c_str());
  }
  void SetDword(const wchar_t* name, DWORD v) {
    RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  }
  DWORD Dword(const wchar_t* name) {
    DWORD v = 0xDEADBEEF, size = sizeof v;
    RegGetValueW(key_, nullptr, name, RRF_RT_REG_DWORD, nullptr, &v, &size);
    return v;
  }
  bool HasValue(const wchar_t* name) {
    return RegQueryValueExW(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  }
  std::string Call(bool set, const std::wstring& subkey, const char* value, const std::string& mask) {
    return "r = Lua_CefRegister(" + std::string(set ? "true" : "false") + ", " + Lit(subkey) + ", '" + value + "', " +
           mask + ")";
  }
  std::wstring subkey_;
  HKEY key_ = nullptr;
};

TEST_F(CefRegister, ChangesOnlyTheMaskBits) {
  SetDword(L"Flags", 1);
  EXPECT_EQ(Eval(Call(true, subkey_, "Flags", "4")), L"true");
  EXPECT_EQ(Dword(L"Flags"), 5u);
  EXPECT_EQ(Eval(Call(false, subkey_, "Flags", "4")), L"true");
  EXPECT_EQ(Dword(L"Flags"), 1u);
  // The top bit is a bit like any other.
  EXPECT_EQ(Eval(Call(true, subkey_, "Flags", "0x80000000")), L"true");
  EXPECT_EQ(Dword(L"Flags"), 0x80000001u);
  EXPECT_EQ(Eval(Call(false, subkey_, "Flags", "0x80000001")), L"true");
  EXPECT_EQ(Dword(L"Flags"), 0u);
}

TEST_F(CefRegister, WithoutAFourByteNumberNothingChanges) {
  EXPECT_EQ(Eval(Call(true, subkey_, "Missing", "4")), L"false");
  EXPECT_FALSE(HasValue(L"Missing"));

  RegSetValueExW(key_, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
  EXPECT_EQ(Eval(Call(true, subkey_, "Text", "4")), L"false");
  const unsigned long long wide = 1;
  RegSetValueExW(key_, L"Wide", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&wide), sizeof wide);
  EXPECT_EQ(Eval(Call(true, subkey_, "Wide", "4")), L"false");
  unsigned long long back = 0;
  DWORD size = sizeof back;
  RegGetValueW(key_, nullptr, L"Wide", RRF_RT_REG_QWORD, nullptr, &back, &size);
  EXPECT_EQ(back, 1u);

  // The key is not created either.
  const std::wstring absent = subkey_ + L"\\absent";
  EXPECT_EQ(Eval(Call(true, absent, "Flags", "4")), L"false");
  HKEY k = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, absent.c_str(), 0, KEY_READ, &k), ERROR_SUCCESS);
}
