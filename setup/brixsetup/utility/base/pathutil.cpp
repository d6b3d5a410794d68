#include "pathutil.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

namespace brix {

bool ExpandPath(const std::wstring& in, std::wstring& out) {
  out.clear();
  wchar_t buf[MAX_PATH] = {};
  const DWORD n = ExpandEnvironmentStringsW(in.c_str(), buf, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return false;
  out = buf;
  return true;
}

bool PathExists(const std::wstring& path) { return !path.empty() && PathFileExistsW(path.c_str()); }

std::wstring FolderOf(const std::wstring& path) {
  std::vector<wchar_t> buf(path.begin(), path.end());
  buf.push_back(L'\0');
  PathRemoveFileSpecW(buf.data());
  return buf.data();
}

std::wstring OwnExecutablePath() {
  wchar_t self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  // A path cut at the buffer's end names some other file.
  if (n == 0 || n >= MAX_PATH) return {};
  return std::wstring(self, n);
}

std::wstring TempFilePath(const wchar_t* name) {
  wchar_t buf[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buf);
  PathAddBackslashW(buf);
  return std::wstring(buf) + name;
}

}  // namespace brix
