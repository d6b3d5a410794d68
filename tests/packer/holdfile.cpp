// Holds a file open with no sharing, as an editor or a virus scanner may,
// until the marker file it creates is deleted (or 60 s pass).
// holdfile.exe <file>   (the marker is <file>.held)
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  HANDLE file = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const std::wstring marker = std::wstring(argv[1]) + L".held";
  HANDLE created = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (created == INVALID_HANDLE_VALUE) return 1;
  CloseHandle(created);
  for (int i = 0; i < 600 && GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; ++i) Sleep(100);
  CloseHandle(file);
  return 0;
}
