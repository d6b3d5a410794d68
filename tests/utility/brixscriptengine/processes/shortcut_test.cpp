// Lua_CreateShortcut: shell links and internet shortcuts, read back through
// the shell's own objects.
#include <windows.h>
#include <intshcut.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <thread>

#include "systest.h"

using namespace systest;

namespace {

struct Link {
  bool loaded = false;
  std::wstring path, arguments, description, workingDir;
};

Link ReadLink(const std::wstring& file) {
  Link out;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return out;
  IPersistFile* pf = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
    if (SUCCEEDED(pf->Load(file.c_str(), STGM_READ))) {
      out.loaded = true;
      wchar_t buf[1024] = {};
      if (link->GetPath(buf, 1024, nullptr, SLGP_RAWPATH) == S_OK) out.path = buf;
      buf[0] = 0;
      link->GetArguments(buf, 1024);
      out.arguments = buf;
      buf[0] = 0;
      link->GetDescription(buf, 1024);
      out.description = buf;
      buf[0] = 0;
      link->GetWorkingDirectory(buf, 1024);
      out.workingDir = buf;
    }
    pf->Release();
  }
  link->Release();
  return out;
}

std::wstring ReadUrl(const std::wstring& file) {
  std::wstring out;
  IUniformResourceLocatorW* url = nullptr;
  if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER, IID_IUniformResourceLocatorW,
                              reinterpret_cast<void**>(&url))))
    return out;
  IPersistFile* pf = nullptr;
  if (SUCCEEDED(url->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
    wchar_t* text = nullptr;
    if (SUCCEEDED(pf->Load(file.c_str(), STGM_READ)) && SUCCEEDED(url->GetURL(&text)) && text) {
      out = text;
      CoTaskMemFree(text);
    }
    pf->Release();
  }
  url->Release();
  return out;
}

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    dir_ = testsupport::MakeTempDir(L"lnk");
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    testsupport::RemoveTree(dir_);
    CoUninitialize();
  }
  std::wstring dir_;
};

}  // namespace

TEST_F(Shortcuts, CreatesTheLinkAndItsFolder) {
  const std::wstring target = dir_ + L"\\app\\Quillon.exe";  // need not exist
  const std::wstring link = dir_ + L"\\menu\\sub\\Quillon.lnk";
  EXPECT_EQ(Eval("r = Lua_CreateShortcut(" + Lit(target) + ", " + Lit(link) + ", '/menu', '启动 Quillon')"),
            L"true");
  const Link l = ReadLink(link);
  ASSERT_TRUE(l.loaded);
  EXPECT_EQ(l.path, target);
  EXPECT_EQ(l.arguments, L"/menu");
  EXPECT_EQ(l.description, L"启动 Quillon");
  EXPECT_EQ(l.workingDir, dir_ + L"\\app");
}

TEST_F(Shortcuts, ArgumentsAndDescriptionOnlyWithFourArguments) {
  const std::wstring target = dir_ + L"\\Quillon.exe";
  const std::wstring three = dir_ + L"\\three.lnk", four = dir_ + L"\\four.lnk";
  EXPECT_EQ(Eval("r = Lua_CreateShortcut(" + Lit(target) + ", " + Lit(three) + ", '/menu')"), L"true");
  EXPECT_EQ(Eval("r = Lua_CreateShortcut(" + Lit(target) + ", " + Lit(four) + ", '/menu', nil)"), L"true");
  const Link a = ReadLink(three), b = ReadLink(four);
  ASSERT_TRUE(a.loaded && b.loaded);
  EXPECT_EQ(a.arguments, L"");
  EXPECT_EQ(b.arguments, L"/menu");
  EXPECT_EQ(b.description, L"");
  EXPECT_EQ(b.path, target);
}

TEST_F(Shortcuts, AUrlTargetWritesAnInternetShortcutWhateverTheExtension) {
  const std::wstring link = dir_ + L"\\web\\Quillon.lnk";
  const std::string url = "https://www.example.com/quillon?from=setup";
  EXPECT_EQ(Eval("r = Lua_CreateShortcut('" + url + "', " + Lit(link) + ", '/ignored', 'ignored')"), L"true");
  EXPECT_EQ(ReadUrl(link), harness::FromUtf8(url));
  const std::string text = testsupport::ReadFileBytes(link);
  EXPECT_NE(text.find("[InternetShortcut]"), std::string::npos) << text;
  EXPECT_NE(text.find("URL=" + url), std::string::npos) << text;
}

TEST_F(Shortcuts, ExpandsLinkAndTargetAndOverwrites) {
  SetEnvironmentVariableW(L"QLNKDIR", dir_.c_str());
  const std::wstring link = dir_ + L"\\x.lnk";
  EXPECT_EQ(Eval("r = Lua_CreateShortcut('%QLNKDIR%\\\\one.exe', '%QLNKDIR%\\\\x.lnk')"), L"true");
  EXPECT_EQ(ReadLink(link).path, dir_ + L"\\one.exe");
  EXPECT_EQ(Eval("r = Lua_CreateShortcut('%QLNKDIR%\\\\two.exe', '%QLNKDIR%\\\\x.lnk')"), L"true");
  EXPECT_EQ(ReadLink(link).path, dir_ + L"\\two.exe");
  SetEnvironmentVariableW(L"QLNKDIR", nullptr);
}

TEST_F(Shortcuts, ALinkThatCannotBeSavedIsFalse) {
  // The link's folder would have to be inside a file.
  const std::wstring file = dir_ + L"\\afile";
  ASSERT_TRUE(testsupport::WriteFileBytes(file, "x"));
  const std::wstring link = file + L"\\x.lnk";
  ScriptRun run = RunScript("r = Lua_CreateShortcut(" + Lit(dir_ + L"\\t.exe") + ", " + Lit(link) + ")");
  EXPECT_EQ(run.result, L"false");
  EXPECT_TRUE(run.Has(L"Save " + link + L" failed!"));

  ScriptRun ok = RunScript("r = Lua_CreateShortcut(" + Lit(dir_ + L"\\t.exe") + ", " + Lit(dir_ + L"\\ok.lnk") + ")");
  EXPECT_EQ(ok.result, L"true");
  EXPECT_TRUE(ok.Has(L"Save Shortcut " + dir_ + L"\\ok.lnk "));
}

TEST_F(Shortcuts, LeavesTheCallersComApartmentAlone) {
  // A thread that is already in the multi-threaded apartment: the call's
  // own initialisation fails and must not be undone.
  HRESULT before = E_FAIL, after = E_FAIL;
  std::wstring result;
  const std::wstring link = dir_ + L"\\mta.lnk";
  std::thread t([&] {
    before = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    result = Eval("r = Lua_CreateShortcut(" + Lit(dir_ + L"\\t.exe") + ", " + Lit(link) + ")");
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // S_FALSE: still initialised
    CoUninitialize();
    CoUninitialize();
  });
  t.join();
  EXPECT_EQ(before, S_OK);
  EXPECT_EQ(result, L"true");
  EXPECT_EQ(after, S_FALSE);
}
