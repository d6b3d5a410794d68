#pragma once
// Where a test finds what the build produced and where it may write.
#include <string>

namespace testsupport {

// Folder of the running test executable (the build's bin folder), with a
// trailing backslash.
std::wstring BinDir();
// BinDir() + name.
std::wstring BinPath(const std::wstring& name);
// A fresh, empty folder under the temporary folder, removed by the caller
// with RemoveTree when it is done.
std::wstring MakeTempDir(const std::wstring& tag);
void RemoveTree(const std::wstring& path);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace testsupport
