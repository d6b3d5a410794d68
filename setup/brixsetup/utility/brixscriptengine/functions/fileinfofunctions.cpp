// Host functions for file versions and the default install folder.
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "systemops.h"
#include "versioninfo.h"

namespace brix {

int Lua_GetFileVersion(lua_State* L) {
  const std::wstring file = lua_gettop(L) >= 1 ? ArgText(L, 1) : std::wstring();
  wchar_t text[MAX_PATH] = {};
  VS_FIXEDFILEINFO info = {};
  if (ReadFixedFileInfo(file, info))
    _snwprintf(text, MAX_PATH - 1, L"%d.%d.%d.%d", HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
               HIWORD(info.dwFileVersionLS), LOWORD(info.dwFileVersionLS));
  PushText(L, text);
  return 1;
}

std::wstring PickInstallFolder(const std::wstring& defaultFolder, const std::vector<std::wstring>& fixedDrives,
                               const std::function<bool(const std::wstring&)>& exists) {
  // Only a folder that starts with a drive name can move to another drive.
  if (fixedDrives.size() < 2 || defaultFolder.size() < 2 || defaultFolder[1] != L':') return defaultFolder;
  for (size_t i = 1; i < fixedDrives.size(); ++i) {
    const std::wstring candidate = fixedDrives[i] + defaultFolder.substr(2);
    if (exists(candidate)) return candidate;
  }
  return defaultFolder;
}

int Lua_GetDriverInstallPath(lua_State* L) {
  std::vector<std::wstring> fixedDrives;
  const DWORD drives = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(drives & (1u << i))) continue;
    wchar_t name[4] = {};
    _snwprintf(name, 3, L"%c%s", static_cast<wchar_t>(L'A' + i), L":");
    if (GetDriveTypeW(name) == DRIVE_FIXED) fixedDrives.push_back(name);
  }
  std::wstring folder;
  ExpandPath(L"%ProgramFiles%\\", folder);  // empty when it cannot be had
  const std::wstring result =
      PickInstallFolder(folder, fixedDrives, [](const std::wstring& path) { return PathFileExistsW(path.c_str()) != 0; });
  PushText(L, result.c_str());
  return 1;
}

}  // namespace brix
