#pragma once
// Shared by the extraction tests: fixture archives, protected snippets, and
// what the fixture tree must look like once unpacked.
#include <windows.h>

#include <string>

namespace extracttest {

// An archive made at build time (makearchives.sh), in the bin folder.
std::wstring Fixture(const wchar_t* name);

// Runs `code` inside pcall, so a script error fails the test instead of
// ending the process; the answer is the global `r` as text ("nil",
// "true", ...), or "error: <message>".
std::wstring Script(const std::string& code);

// A Lua string literal for a host path.
std::string Lit(const std::wstring& s);

// Checks every file and folder of the fixture tree below `dest` (gtest
// failures on mismatch).
void ExpectTree(const std::wstring& dest);

// Full paths of the tree's files, sorted, joined by "|".
std::wstring TreeFiles(const std::wstring& dest);

// The only entries below `folder`, as "name|name|..." sorted ("" when empty);
// folders end in "\".
std::wstring Listing(const std::wstring& folder);

// A handle that keeps `path` open without sharing, so creating it fails
// with ERROR_SHARING_VIOLATION until Release (or the script's Test_Unlock()).
class Lock {
 public:
  explicit Lock(const std::wstring& path);
  ~Lock() { Release(); }
  bool Held() const;
  static void Release();
};

std::string Numbers(int last);  // what `seq 1 last` prints

}  // namespace extracttest
