#include "appdata.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace brix {

std::wstring AppDataFolder(const std::wstring& subFolder) {
  wchar_t buf[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buf, CSIDL_LOCAL_APPDATA, FALSE) &&
      !SHGetSpecialFolderPathW(nullptr, buf, CSIDL_APPDATA, FALSE)) {
    buf[0] = L'\0';
    GetTempPathW(MAX_PATH, buf);
  }
  if (!subFolder.empty()) PathAppendW(buf, subFolder.c_str());
  PathAddBackslashW(buf);
  if (GetFileAttributesW(buf) == INVALID_FILE_ATTRIBUTES) SHCreateDirectoryExW(nullptr, buf, nullptr);
  return buf;
}

}  // namespace brix
