#include <windows.h>

#include <atomic>

#include "binary.h"
#include "files.h"
#include "windowstext.h"

namespace quillpack {
namespace {

uint64_t Ticks(const FILETIME& t) { return uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime; }

PathInfo FromAttributes(DWORD attributes, DWORD sizeHigh, DWORD sizeLow, const FILETIME& written) {
  PathInfo info;
  info.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? PathKind::kLink
              : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? PathKind::kFolder
              : (attributes & FILE_ATTRIBUTE_DEVICE)      ? PathKind::kOther
                                                          : PathKind::kFile;
  if (info.kind == PathKind::kFile) info.size = uint64_t(sizeHigh) << 32 | sizeLow;
  info.mtime = Ticks(written);
  info.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return info;
}

// What a link leads to, opened through it: a reparse point's own
// attributes describe the link.
PathInfo Through(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return PathInfo();
  BY_HANDLE_FILE_INFORMATION i;
  const bool ok = GetFileInformationByHandle(h, &i) != 0;
  CloseHandle(h);
  if (!ok) return PathInfo();
  return FromAttributes(i.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_REPARSE_POINT), i.nFileSizeHigh, i.nFileSizeLow,
                        i.ftLastWriteTime);
}

PathInfo Examine(const std::wstring& path, bool followLinks) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d)) return PathInfo();
  PathInfo info = FromAttributes(d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow, d.ftLastWriteTime);
  if (info.kind != PathKind::kLink) return info;
  if (followLinks) return Through(path);
  info.linkDangling = Through(path).kind == PathKind::kMissing;
  return info;
}

std::atomic<unsigned> g_tempCounter{0};

}  // namespace

PathInfo Inspect(const std::string& path, bool followLinks) {
  try {
    return Examine(WidePath(path), followLinks);
  } catch (const PackError&) {
    return PathInfo();  // not UTF-8: no such file
  }
}

std::vector<FolderItem> FolderItems(const std::string& folder) {
  const std::wstring base = WidePath(folder);
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileExW((base + L"\\*").c_str(), FindExInfoBasic, &d, FindExSearchNameMatch, nullptr,
                                 FIND_FIRST_EX_LARGE_FETCH);
  std::vector<FolderItem> items;
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND) return items;  // a drive's empty root: not even "."
    throw PackError(folder + ": cannot list the folder: " + WindowsError(e));
  }
  DWORD error = ERROR_SUCCESS;
  for (; error == ERROR_SUCCESS; error = FindNextFileW(find, &d) ? ERROR_SUCCESS : GetLastError()) {
    const std::wstring name = d.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    if (!ToUtf8(name, item.name)) {
      FindClose(find);
      throw PackError(folder + "/" + item.name + ": the name is not valid Unicode (an unpaired surrogate); rename it");
    }
    item.info = FromAttributes(d.dwFileAttributes, d.nFileSizeHigh, d.nFileSizeLow, d.ftLastWriteTime);
    if (item.info.kind == PathKind::kLink) item.info.linkDangling = Through(base + L"\\" + name).kind == PathKind::kMissing;
    items.push_back(std::move(item));
  }
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) throw PackError(folder + ": cannot list the folder: " + WindowsError(error));
  return items;
}

InputFile::InputFile(const std::string& path) : path_(path) {
  const HANDLE h = CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw PackError(path + ": " + WindowsError(GetLastError()));
  handle_ = reinterpret_cast<intptr_t>(h);
}

InputFile::~InputFile() { CloseHandle(reinterpret_cast<HANDLE>(handle_)); }

size_t InputFile::Read(void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const DWORD piece = size - done < (DWORD(1) << 30) ? DWORD(size - done) : DWORD(1) << 30;
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + done, piece, &got, nullptr))
      throw PackError(path_ + ": read error: " + WindowsError(GetLastError()));
    if (got == 0) break;
    done += got;
  }
  return done;
}

ReplacingFile::ReplacingFile(const std::string& path) : path_(path) {
  const std::wstring wide = WidePath(path);
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  for (int attempt = 0;; ++attempt) {
    uint64_t seed = GetTickCount64() * 1000003u ^ uint64_t(GetCurrentProcessId()) << 20 ^ g_tempCounter++;
    std::string suffix = ".";
    for (int i = 0; i < 6; ++i, seed /= 36) suffix += kDigits[seed % 36];
    temp_ = path + suffix;
    const HANDLE h = CreateFileW((wide + std::wstring(suffix.begin(), suffix.end())).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
      return;
    }
    const DWORD e = GetLastError();
    if ((e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) || attempt == 100)
      throw PackError(path + ": cannot create a temporary file beside it: " + WindowsError(e));
  }
}

ReplacingFile::~ReplacingFile() {
  if (handle_ == 0) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  DeleteFileW(WidePath(temp_).c_str());
}

void ReplacingFile::Write(const void* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const DWORD piece = size - done < (DWORD(1) << 30) ? DWORD(size - done) : DWORD(1) << 30;
    DWORD wrote = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), static_cast<const char*>(data) + done, piece, &wrote, nullptr) ||
        wrote == 0)
      throw PackError(path_ + ": write failed: " + WindowsError(GetLastError()));
    done += wrote;
  }
}

void ReplacingFile::Commit(bool) {
  const HANDLE h = reinterpret_cast<HANDLE>(handle_);
  if (!FlushFileBuffers(h)) throw PackError(path_ + ": cannot flush: " + WindowsError(GetLastError()));
  handle_ = 0;
  const std::wstring temp = WidePath(temp_);
  if (!CloseHandle(h)) {
    const DWORD e = GetLastError();
    DeleteFileW(temp.c_str());
    throw PackError(path_ + ": close failed: " + WindowsError(e));
  }
  if (!MoveFileExW(temp.c_str(), WidePath(path_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD e = GetLastError();
    DeleteFileW(temp.c_str());
    throw PackError(path_ + ": cannot replace: " + WindowsError(e));
  }
}

}  // namespace quillpack
