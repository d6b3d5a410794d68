// quillshow: prints what an install left on the machine, for the demo.
//   --files <folder>          files below the folder with their sizes
//   --reg <HKCU|HKLM> <key>   the key's values
//   --link <file>             a shell link's target, arguments and folder
//   --url <file>              an internet shortcut's address
//   --starts <file>           the product's own record of being started
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "handles.h"
#include "harness.h"
#include "scopeguard.h"

namespace {

void Print(const std::wstring& line) {
  std::string utf8 = harness::ToUtf8(line + L"\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void Files(const std::wstring& root, const std::wstring& rel) {
  WIN32_FIND_DATAW fd;
  const brix::UniqueFindHandle h(FindFirstFileW((root + L"\\" + rel + L"*").c_str(), &fd));
  if (!h) return;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      Files(root, rel + name + L"\\");
    } else {
      ULONGLONG size = (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      Print(L"  " + rel + name + L"  (" + std::to_wstring(size) + L" bytes)");
    }
  } while (FindNextFileW(h.get(), &fd));
}

void Registry(const std::wstring& root, const std::wstring& key) {
  HKEY hive = root == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  brix::UniqueRegKey k;
  if (RegOpenKeyExW(hive, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) {
    Print(L"  (no key " + root + L"\\" + key + L")");
    return;
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLen = 256, type = 0, size = 0;
    BYTE data[2048];
    size = sizeof data;
    if (RegEnumValueW(k.get(), i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring value;
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      value = std::wstring(L"\"") + std::wstring(reinterpret_cast<wchar_t*>(data), size / 2).c_str() + L"\"";
    else if (type == REG_DWORD)
      value = std::to_wstring(*reinterpret_cast<DWORD*>(data));
    else
      value = L"(type " + std::to_wstring(type) + L", " + std::to_wstring(size) + L" bytes)";
    Print(L"  " + std::wstring(*name ? name : L"(default)") + L" = " + value);
  }
}

void Link(const std::wstring& path) {
  brix::ComRef<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put()))) {
    Print(L"  (no shell link object)");
    return;
  }
  brix::ComRef<IPersistFile> file;
  link->QueryInterface(IID_IPersistFile, file.put());
  if (file && SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
    wchar_t target[MAX_PATH] = {}, args[MAX_PATH] = {}, dir[MAX_PATH] = {};
    link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH);
    link->GetArguments(args, MAX_PATH);
    link->GetWorkingDirectory(dir, MAX_PATH);
    Print(L"  " + path + L"\n    target: " + target + L"\n    arguments: " + args + L"\n    folder: " + dir);
  } else {
    Print(L"  (cannot read " + path + L")");
  }
}

void Url(const std::wstring& path) {
  wchar_t url[2048] = {};
  GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", url, 2048, path.c_str());
  Print(L"  " + path + L"\n    address: " + (*url ? url : L"(none)"));
}

void Starts(const std::wstring& path) {
  auto starts = harness::ReadProductStarts(path);
  if (starts.empty()) Print(L"  (not started yet)");
  for (const auto& s : starts)
    Print(L"  started with: " + s.commandLine + L"\n    by: " + (s.parentImage.empty() ? L"(parent gone)" : s.parentImage) +
          L" (pid " + std::to_wstring(s.parentPid) + L")");
}

// Paths may name the folders the install chunk uses (%DESKTOP% and so on).
void SetFolderVariables() {
  const struct {
    const wchar_t* name;
    int csidl;
  } folders[] = {{L"APPDATA", CSIDL_APPDATA}, {L"COMMPROGRAMS", CSIDL_COMMON_PROGRAMS}, {L"DESKTOP", CSIDL_DESKTOPDIRECTORY}};
  for (const auto& f : folders) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, path, f.csidl, FALSE)) SetEnvironmentVariableW(f.name, path);
  }
}

std::vector<std::wstring> ExpandedArgs(int argc, wchar_t** argv) {
  std::vector<std::wstring> out;
  for (int i = 0; i < argc; ++i) {
    wchar_t buf[4096] = {};
    ExpandEnvironmentStringsW(argv[i], buf, 4096);
    out.push_back(buf);
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** rawArgv) {
  const HRESULT com = CoInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(com)) CoUninitialize());
  SetFolderVariables();
  std::vector<std::wstring> args = ExpandedArgs(argc, rawArgv);
  std::vector<const wchar_t*> argvList;
  for (const auto& a : args) argvList.push_back(a.c_str());
  const wchar_t* const* argv = argvList.data();
  for (int i = 1; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--files" && i + 1 < argc) {
      Print(std::wstring(L"files in ") + argv[++i] + L":");
      Files(argv[i], L"");
    } else if (a == L"--reg" && i + 2 < argc) {
      Print(std::wstring(L"registry ") + argv[i + 1] + L"\\" + argv[i + 2] + L":");
      Registry(argv[i + 1], argv[i + 2]);
      i += 2;
    } else if (a == L"--link" && i + 1 < argc) {
      Link(argv[++i]);
    } else if (a == L"--url" && i + 1 < argc) {
      Url(argv[++i]);
    } else if (a == L"--starts" && i + 1 < argc) {
      Print(L"the product's record of being started:");
      Starts(argv[++i]);
    } else if (a == L"--wait-file" && i + 1 < argc) {
      // The product starts asynchronously; give it a moment to record.
      for (int n = 0; n < 100 && GetFileAttributesW(argv[i + 1]) == INVALID_FILE_ATTRIBUTES; ++n) Sleep(100);
      ++i;
    }
  }
  return 0;
}
