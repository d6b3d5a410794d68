#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "brixscriptengine.h"
#include "scriptglobals.h"
#include "strconv.h"
#include "scripttest.h"
#include "testpaths.h"

using brix::BrixScriptEngine;
using scripttest::Eval;

namespace {


std::wstring SpecialFolder(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, buf, csidl, FALSE);
  return buf;
}

}  // namespace

TEST(EnvFunctions, FolderVariablesFeedExpansion) {
  EXPECT_EQ(Eval("r = tostring(Lua_RegVarByCSIDL('DESKTOP', 16))"), L"true");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('%DESKTOP%\\\\Quillon.lnk')"), SpecialFolder(16) + L"\\Quillon.lnk");
  EXPECT_EQ(Eval("r = tostring(Lua_RegVarByCSIDL('QAPPDATA', '26'))"), L"true");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('%QAPPDATA%')"), SpecialFolder(26));
  EXPECT_EQ(Eval("r = tostring(Lua_RegVarByCSIDL('QBAD', 0x7777))"), L"false");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('%QBAD%')"), L"%QBAD%");
}

TEST(EnvFunctions, ExpandEnvEdges) {
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('plain text')"), L"plain text");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('')"), L"");
  EXPECT_EQ(Eval("r = Lua_ExpandEnv()"), L"");
  // Does not fit 260 units: nothing partial comes back.
  EXPECT_EQ(Eval("r = Lua_ExpandEnv(string.rep('x', 300))"), L"");
  // Reads the top of the stack.
  EXPECT_EQ(Eval("r = Lua_ExpandEnv('first', 'second')"), L"second");
}

TEST(EnvFunctions, CommandLineAndModulePaths) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(Eval("r = Lua_GetModuleFileName()"), self);
  EXPECT_EQ(Eval("r = Lua_GetModuleFileName('no_such_module_here')"), self);
  std::wstring k32 = Eval("r = Lua_GetModuleFileName('kernel32')");
  EXPECT_NE(brix::ToNarrow(k32.c_str()).find("kernel32"), std::string::npos);

  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  EXPECT_EQ(Eval("local t = Lua_GetCommandLineArgv() r = #t"), std::to_wstring(argc));
  EXPECT_EQ(Eval("r = Lua_GetCommandLineArgv()[1]"), argv[0]);
  LocalFree(argv);
}

TEST(EnvFunctions, TempFilesAndFolders) {
  std::wstring path = Eval("r = Lua_GetTempFileName('%TMP%', 'JsZip')");
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(testsupport::FileExists(path));
  EXPECT_NE(path.find(L"JsZ"), std::wstring::npos);
  DeleteFileW(path.c_str());
  EXPECT_EQ(Eval("r = tostring(Lua_GetTempFileName('C:\\\\no\\\\such\\\\folder', 'x'))"), L"nil");

  std::wstring scratch = Eval("r = Lua_GetTempPath()");
  ASSERT_FALSE(scratch.empty());
  DWORD attrs = GetFileAttributesW(scratch.c_str());
  EXPECT_TRUE(attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY));
}

TEST(EnvFunctions, SystemFactsAndLog) {
  EXPECT_EQ(Eval("r = tostring(Lua_GetOSVersion() >= 6)"), L"true");
  // Lua_IsWow64: wordsize_test.cpp, with each build's own answer.
  EXPECT_EQ(Eval("r = select('#', Lua_Logout('中文日志'))"), L"0");
}
