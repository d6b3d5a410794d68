#include "extracttest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "lua.h"
#include "scripttest.h"
#include "testpaths.h"

namespace extracttest {
namespace {

HANDLE g_lock = INVALID_HANDLE_VALUE;

int TestUnlock(lua_State*) {
  Lock::Release();
  return 0;
}

void ListInto(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    const bool dir = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    out.push_back(rel + name + (dir ? L"\\" : L""));
    if (dir) ListInto(root, rel + name + L"\\", out);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
}

}  // namespace

std::wstring Fixture(const wchar_t* name) { return testsupport::BinPath(L"extract_fixtures\\") + name; }

std::wstring Script(const std::string& code) {
  lua_register(scripttest::State(), "Test_Unlock", TestUnlock);
  return scripttest::Eval("local ok, e = pcall(function() " + code +
                          "\n end) if not ok then r = 'error: ' .. tostring(e) end");
}

std::string Lit(const std::wstring& s) { return scripttest::Lit(s); }

std::string Numbers(int last) {
  std::string s;
  for (int i = 1; i <= last; ++i) s += std::to_string(i) + "\n";
  return s;
}

void ExpectTree(const std::wstring& dest) {
  using testsupport::ReadFileBytes;
  EXPECT_EQ(Listing(dest), L"big.txt|d1\\|d1\\a.txt|d1\\d2\\|d1\\d2\\numbers.txt|empty.txt|emptydir\\|readme.txt|"
                           L"ro.txt|中文\\|中文\\名字.txt");
  EXPECT_EQ(ReadFileBytes(dest + L"\\readme.txt"), "hello readme\n");
  EXPECT_EQ(ReadFileBytes(dest + L"\\d1\\a.txt"), "alpha\n");
  EXPECT_EQ(ReadFileBytes(dest + L"\\d1\\d2\\numbers.txt"), Numbers(20000));
  EXPECT_EQ(ReadFileBytes(dest + L"\\中文\\名字.txt"), "unicode\n");
  EXPECT_EQ(ReadFileBytes(dest + L"\\ro.txt"), "read only\n");
  EXPECT_EQ(ReadFileBytes(dest + L"\\empty.txt"), "");
  // Larger than two 4 MiB write pieces.
  EXPECT_TRUE(ReadFileBytes(dest + L"\\big.txt") == Numbers(1500000).substr(0, 9437191)) << "big.txt differs";

  // Attributes come after writing: the read-only item ends read-only.
  EXPECT_TRUE(GetFileAttributesW((dest + L"\\ro.txt").c_str()) & FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(GetFileAttributesW((dest + L"\\readme.txt").c_str()) & FILE_ATTRIBUTE_READONLY);

  HANDLE h = CreateFileW((dest + L"\\d1\\a.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  FILETIME written = {};
  GetFileTime(h, nullptr, nullptr, &written);
  CloseHandle(h);
  SYSTEMTIME st = {2020, 1, 0, 2, 3, 4, 5, 0};
  FILETIME archived = {};
  SystemTimeToFileTime(&st, &archived);
  EXPECT_EQ(CompareFileTime(&written, &archived), 0);
}

std::wstring Listing(const std::wstring& folder) {
  std::vector<std::wstring> all;
  ListInto(folder, L"", all);
  std::sort(all.begin(), all.end());
  std::wstring out;
  for (const auto& e : all) out += (out.empty() ? L"" : L"|") + e;
  return out;
}

Lock::Lock(const std::wstring& path) {
  Release();
  g_lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
}

void Lock::Release() {
  if (g_lock != INVALID_HANDLE_VALUE) CloseHandle(g_lock);
  g_lock = INVALID_HANDLE_VALUE;
}

}  // namespace extracttest
