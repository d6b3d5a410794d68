// Host functions for shortcuts, component registration and file versions.
#include <windows.h>
#include <intshcut.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <vector>

#include "brixprocesstoolhelp.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "scopeguard.h"
#include "systemops.h"
#include "trace.h"

namespace brix {

namespace {

constexpr DWORD kAllContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

int PushBool(lua_State* L, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  return 1;
}

std::wstring FolderOf(const std::wstring& path) {
  std::vector<wchar_t> buf(path.begin(), path.end());
  buf.push_back(L'\0');
  PathRemoveFileSpecW(buf.data());
  return buf.data();
}

bool Exists(const std::wstring& path) { return !path.empty() && PathFileExistsW(path.c_str()); }

template <class T>
void Release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// A shell-link setting; false after its trace when it fails.
bool Set(HRESULT hr, const wchar_t* format, const std::wstring& text) {
  if (SUCCEEDED(hr)) return true;
  Trace(format, text.c_str());
  BRIX_TRACE_FAILURE(L"");
  return false;
}

using RegistrationEntry = HRESULT(STDAPICALLTYPE*)();

}  // namespace

int Lua_CreateShortcut(lua_State* L) {
  // Balanced only when it took: a thread already in another apartment
  // keeps its own initialisation.
  const HRESULT com = CoInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(com)) CoUninitialize());

  const std::wstring rawTarget = ArgText(L, 1);
  std::wstring link;
  if (!ExpandArgPath(L, 2, L"Lua_CreateShortcut", link)) return PushBool(L, false);
  const std::wstring linkFolder = FolderOf(link);
  if (!linkFolder.empty() && !PathFileExistsW(linkFolder.c_str())) SHCreateDirectory(nullptr, linkFolder.c_str());

  IUnknown* object = nullptr;
  BRIX_ON_EXIT(Release(object));
  if (PathIsURLW(rawTarget.c_str())) {
    IUniformResourceLocatorW* url = nullptr;
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, kAllContexts, IID_IUniformResourceLocatorW,
                                reinterpret_cast<void**>(&url)))) {
      BRIX_TRACE_FAILURE(L"CoCreateInstance(CLSID_InternetShortcut) failed!");
      return PushBool(L, false);
    }
    object = url;
    if (!Set(url->SetURL(rawTarget.c_str(), 0), L"SetURL %s failed!\r\n", rawTarget)) return PushBool(L, false);
  } else {
    std::wstring target;
    if (!ExpandArgPath(L, 1, L"Lua_CreateShortcut", target)) return PushBool(L, false);
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, kAllContexts, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink)))) {
      BRIX_TRACE_FAILURE(L"CoCreateInstance(CLSID_ShellLink) failed!");
      return PushBool(L, false);
    }
    object = shellLink;
    // Arguments and description only in the four-argument form.
    if (lua_gettop(L) >= 4) {
      if (!lua_isnil(L, 3)) {
        const std::wstring arguments = ArgText(L, 3);
        if (!Set(shellLink->SetArguments(arguments.c_str()), L"SetArguments %s failed!\r\n", arguments))
          return PushBool(L, false);
      }
      if (!lua_isnil(L, 4)) {
        const std::wstring description = ArgText(L, 4);
        if (!Set(shellLink->SetDescription(description.c_str()), L"SetDescription %s failed!\r\n", description))
          return PushBool(L, false);
      }
    }
    if (!Set(shellLink->SetPath(target.c_str()), L"SetPath %s failed!\r\n", target)) return PushBool(L, false);
    const std::wstring workingFolder = FolderOf(target);
    if (!Set(shellLink->SetWorkingDirectory(workingFolder.c_str()), L"SetWorkingDirectory %s failed!\r\n",
             workingFolder))
      return PushBool(L, false);
  }

  IPersistFile* file = nullptr;
  if (FAILED(object->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    BRIX_TRACE_FAILURE(L"QueryInterface IID_IPersistFile failed!");
    return PushBool(L, false);
  }
  Release(object);
  const HRESULT saved = file->Save(link.c_str(), TRUE);
  file->Release();
  if (FAILED(saved)) {
    Trace(L"Save %s failed!\r\n", link.c_str());
    BRIX_TRACE_FAILURE(L"");
    return PushBool(L, false);
  }
  Trace(L"Save Shortcut %s \r\n", link.c_str());
  return PushBool(L, true);
}

int Lua_RegSvr32(lua_State* L) {
  const HRESULT ole = OleInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(ole)) OleUninitialize());

  std::wstring file;
  if (!ExpandArgPath(L, 1, L"Lua_RegSvr32", file)) return PushBool(L, false);
  if (!Exists(file)) {
    TraceMissing(L"Lua_RegSvr32", file);
    return PushBool(L, false);
  }
  // As the registration tool does: the component's own folder is searched
  // first for the libraries it needs.
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    Trace(L"Fun:%s, Description: LoadLibrary %s Failed!\r\n", L"Lua_RegSvr32", file.c_str());
    BRIX_TRACE_FAILURE(L"");
    return PushBool(L, false);
  }
  BRIX_ON_EXIT(FreeLibrary(module));  // before OleUninitialize
  auto entry = reinterpret_cast<RegistrationEntry>(
      GetProcAddress(module, ArgFlag(L, 2) ? "DllRegisterServer" : "DllUnregisterServer"));
  if (!entry) return PushBool(L, false);
  return PushBool(L, SUCCEEDED(entry()));
}

int Lua_RegistDll(lua_State* L) {
  const HRESULT ole = OleInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(ole)) OleUninitialize());

  std::wstring file;
  if (!ExpandArgPath(L, 1, L"Lua_RegistDll", file)) return PushBool(L, false);
  if (!Exists(file)) {
    TraceMissing(L"Lua_RegistDll", file);
    return PushBool(L, false);
  }
  std::wstring commandLine = L"regsvr32 " + ArgText(L, 2) + L" \"" + file + L"\"";
  // The system's own tool, by full path: a regsvr32.exe beside the installer
  // (a downloads folder) is not run. Wide text keeps paths that the ANSI code
  // page cannot spell.
  wchar_t tool[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(tool, MAX_PATH - 14);
  if (length == 0 || length >= MAX_PATH - 14) {
    Trace(L"reg failed!!! %d", static_cast<int>(GetLastError()));
    return PushBool(L, false);
  }
  wcscat(tool, L"\\regsvr32.exe");

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(tool, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Trace(L"reg failed!!! %d", static_cast<int>(GetLastError()));
    return PushBool(L, false);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return PushBool(L, true);
}

int Lua_CefRegister(lua_State* L) {
  const bool set = ArgFlag(L, 1);
  const std::wstring subkey = ArgText(L, 2);
  const std::wstring valueName = ArgText(L, 3);
  const DWORD mask = ArgUnsigned(L, 4);

  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS)
    return PushBool(L, false);
  BRIX_ON_EXIT(RegCloseKey(key));
  DWORD value = 0, type = 0, size = sizeof value;
  if (RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return PushBool(L, false);
  value = set ? (value | mask) : (value & ~mask);
  RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  return PushBool(L, true);
}

int Lua_GetFileVersion(lua_State* L) {
  const std::wstring file = lua_gettop(L) >= 1 ? ArgText(L, 1) : std::wstring();
  DWORD handle = 0;
  const DWORD size = file.empty() ? 0 : GetFileVersionInfoSizeW(file.c_str(), &handle);
  wchar_t text[MAX_PATH] = {};
  if (size != 0) {
    std::vector<BYTE> data(size + 1, 0);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (GetFileVersionInfoW(file.c_str(), 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) && info &&
        infoSize >= sizeof *info) {
      _snwprintf(text, MAX_PATH - 1, L"%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                 HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    }
  }
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
