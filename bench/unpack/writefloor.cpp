// Writes as many files of the same sizes as a folder holds, in 1 MiB
// pieces, without decoding anything: what file writing alone costs the
// installer on this system (under Wine it is several times native).
// writefloor.exe <payload folder> <empty destination folder>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<char> piece(1 << 20);

void Copy(const std::wstring& from, const std::wstring& to) {
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileW((from + L"\\*").c_str(), &d);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = d.cFileName;
    if (name == L"." || name == L"..") continue;
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      CreateDirectoryW((to + L"\\" + name).c_str(), nullptr);
      Copy(from + L"\\" + name, to + L"\\" + name);
      continue;
    }
    HANDLE h = CreateFileW((to + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    unsigned long long left = (unsigned long long)d.nFileSizeHigh << 32 | d.nFileSizeLow;
    while (left) {
      const DWORD n = DWORD(left < piece.size() ? left : piece.size());
      DWORD written = 0;
      if (!WriteFile(h, piece.data(), n, &written, nullptr)) break;
      left -= n;
    }
    SetFileTime(h, nullptr, nullptr, &d.ftLastWriteTime);
    CloseHandle(h);
    SetFileAttributesW((to + L"\\" + name).c_str(), d.dwFileAttributes);
  } while (FindNextFileW(find, &d));
  FindClose(find);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  Copy(argv[1], argv[2]);
  QueryPerformanceCounter(&b);
  std::printf("elapsed_ms=%.0f\n", double(b.QuadPart - a.QuadPart) * 1000.0 / double(f.QuadPart));
  return 0;
}
