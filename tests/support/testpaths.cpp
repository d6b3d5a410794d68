#include "testpaths.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <fstream>
#include <sstream>

namespace testsupport {

std::wstring BinDir() {
  wchar_t buf[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring p(buf);
  return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring BinPath(const std::wstring& name) { return BinDir() + name; }

std::wstring MakeTempDir(const std::wstring& tag) {
  static std::atomic<unsigned> counter{0};
  wchar_t tmp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, tmp);
  for (;;) {
    std::wstring dir = std::wstring(tmp) + L"qt_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) +
                       L"_" + std::to_wstring(counter++);
    if (CreateDirectoryW(dir.c_str(), nullptr)) return dir;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
}

void RemoveTree(const std::wstring& path) {
  if (path.empty()) return;
  std::wstring from = path + L'\0';
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace testsupport
