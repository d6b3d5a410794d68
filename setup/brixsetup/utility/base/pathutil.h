#pragma once
// Path helpers shared by the host functions and the installer host. Paths
// live in buffers of 260 UTF-16 units, as the system's path calls expect.
#include <string>

namespace brix {

// Expands environment references into at most 260 units. False when the
// expansion fails or does not fit; `out` is then left empty.
bool ExpandPath(const std::wstring& in, std::wstring& out);
// A non-empty path naming an existing file or folder.
bool PathExists(const std::wstring& path);
// The path without its last component ("C:\a\b.txt" -> "C:\a").
std::wstring FolderOf(const std::wstring& path);
// The running executable's full path; empty when it does not fit 260 units.
std::wstring OwnExecutablePath();
// <temporary folder>\<name>, the base path of a daily log.
std::wstring TempFilePath(const wchar_t* name);

}  // namespace brix
