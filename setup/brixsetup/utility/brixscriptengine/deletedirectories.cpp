// Recursive folder deletion used by the recursive-delete host functions.
#include <shlwapi.h>

#include "brixscriptengine.h"
#include "handles.h"
#include "trace.h"

namespace brix {
namespace {

void DeleteTree(const std::wstring& path, const DeleteErrorCallback* onError) {
  const bool isFolder = PathIsDirectoryW(path.c_str()) != FALSE;
  wchar_t pattern[MAX_PATH] = {};
  if (isFolder) {
    if (!PathCombineW(pattern, path.c_str(), L"*.*")) return;
  } else {
    if (path.size() >= MAX_PATH) return;
    lstrcpynW(pattern, path.c_str(), MAX_PATH);
  }

  WIN32_FIND_DATAW fd;
  UniqueFindHandle find(FindFirstFileW(pattern, &fd));
  if (!find) return;

  wchar_t full[MAX_PATH] = {};
  std::wstring root;
  if (GetFullPathNameW(pattern, MAX_PATH, full, nullptr)) {
    root = full;
    root = root.substr(0, root.find_last_of(L"\\/") + 1);
  }
  if (!root.empty() && root.back() != L'\\' && root.back() != L'/') root += L'\\';

  do {
    const std::wstring name = fd.cFileName;
    const std::wstring entry = root + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name == L"." || name == L"..") continue;
      DeleteTree(entry, onError);
    } else {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileW(entry.c_str()) && onError && *onError) (*onError)(entry.c_str(), GetLastError());
    }
  } while (FindNextFileW(find.get(), &fd));
  find.reset();  // the folder cannot go while it is being searched

  if (isFolder) {
    // A folder that is the current directory cannot be removed.
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    if (path == current) {
      wchar_t parent[MAX_PATH] = {};
      lstrcpynW(parent, path.c_str(), MAX_PATH);
      PathRemoveFileSpecW(parent);
      SetCurrentDirectoryW(parent);
    }
    RemoveDirectoryW(path.c_str());
  }
}

}  // namespace

void BrixScriptEngine::DeleteDirectories(const std::wstring& path) {
  Trace(L"%s %s", L"BrixScriptEngine::DeleteDirectories", path.c_str());
  DeleteTree(path, nullptr);
}

void BrixScriptEngine::DeleteDirectoriesEx(const std::wstring& path, const DeleteErrorCallback& onError) {
  Trace(L"%s %s", L"BrixScriptEngine::DeleteDirectoriesEx", path.c_str());
  DeleteTree(path, &onError);
}

}  // namespace brix
