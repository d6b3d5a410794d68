#pragma once
// Shared by the extraction tests: fixture archives, protected snippets, and
// what the fixture tree must look like once unpacked.
#include <windows.h>

#include <string>

namespace extracttest {

// An archive made at build time (makearchives.sh), in the bin folder.
std::wstring Fixture(const wchar_t* name);
// Runs `code` inside pcall, so a script error fails the test instead of
// ending the process; gives the global `r` as text, or "error: <message>".
std::wstring Script(const std::string& code);
std::string Lit(const std::wstring& s);  // a Lua string literal
std::string Numbers(int last);           // what `seq 1 <last>` prints

// Every file and folder of the fixture tree below `dest`, with content,
// attributes and times (gtest failures on mismatch).
void ExpectTree(const std::wstring& dest);
// All entries below `folder`, sorted, "|" between them; folders end in "\".
std::wstring Listing(const std::wstring& folder);

// Keeps `path` open without sharing, so creating it fails with
// ERROR_SHARING_VIOLATION until Release or the script's Test_Unlock().
struct Lock {
  explicit Lock(const std::wstring& path);
  ~Lock() { Release(); }
  static void Release();
};

}  // namespace extracttest
