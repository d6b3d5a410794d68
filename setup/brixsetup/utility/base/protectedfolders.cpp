#include "protectedfolders.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

namespace brix {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring Lower(std::wstring s) {
  if (!s.empty()) CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

// "C:\" or "\\server\share\" style root length of a normalized path; 0 when
// it has none.
size_t RootLength(const std::wstring& p) {
  if (p.size() >= 3 && p[1] == L':' && p[2] == L'\\') return 3;
  if (p.size() >= 2 && p[1] == L':') return 2;
  if (p.compare(0, 2, L"\\\\") == 0) {
    const size_t server = p.find(L'\\', 2);
    if (server == std::wstring::npos) return p.size();
    const size_t share = p.find(L'\\', server + 1);
    return share == std::wstring::npos ? p.size() : share;
  }
  return 0;
}

const std::vector<std::wstring>& KnownFolders() {
  static const std::vector<std::wstring> folders = [] {
    std::vector<std::wstring> out;
    const int csidls[] = {CSIDL_WINDOWS,         CSIDL_SYSTEM,          CSIDL_SYSTEMX86,
                          CSIDL_PROGRAM_FILES,   CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                          CSIDL_PROGRAM_FILES_COMMONX86, CSIDL_PROFILE, CSIDL_DESKTOPDIRECTORY,
                          CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS,
                          CSIDL_APPDATA,         CSIDL_LOCAL_APPDATA,   CSIDL_COMMON_APPDATA,
                          CSIDL_STARTMENU,       CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,
                          CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP,         CSIDL_COMMON_STARTUP,
                          CSIDL_FONTS};
    for (int csidl : csidls) {
      wchar_t path[MAX_PATH] = {};
      if (SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) {
        const std::wstring n = NormalizedFolder(path);
        if (!n.empty()) out.push_back(Lower(n));
      }
    }
    wchar_t temp[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH, temp)) {
      const std::wstring n = NormalizedFolder(temp);
      if (!n.empty()) out.push_back(Lower(n));
    }
    return out;
  }();
  return folders;
}

}  // namespace

std::wstring NormalizedFolder(const std::wstring& path) {
  std::wstring p = path;
  for (wchar_t& c : p)
    if (c == L'/') c = L'\\';
  if (p.compare(0, 8, L"\\\\?\\UNC\\") == 0)
    p = L"\\\\" + p.substr(8);
  else if (p.compare(0, 4, L"\\\\?\\") == 0 || p.compare(0, 4, L"\\\\.\\") == 0)
    p = p.substr(4);
  if (p.empty()) return {};
  const DWORD n = GetFullPathNameW(p.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> full(n + 1, L'\0');
  const DWORD got = GetFullPathNameW(p.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (got == 0 || got >= full.size()) return {};
  p.assign(full.data(), got);
  const size_t root = RootLength(p);
  while (p.size() > root && IsSeparator(p.back())) p.pop_back();
  return p;
}

bool IsProtectedFolder(const std::wstring& path) {
  const std::wstring p = Lower(NormalizedFolder(path));
  // A path that cannot be made full is refused too: nothing sane is lost.
  if (p.empty()) return true;
  const size_t root = RootLength(p);
  if (root == 0 || p.size() <= root) return true;
  for (const std::wstring& known : KnownFolders()) {
    // The folder itself, or one that holds it.
    if (known.size() >= p.size() && known.compare(0, p.size(), p) == 0 &&
        (known.size() == p.size() || known[p.size()] == L'\\'))
      return true;
  }
  return false;
}

}  // namespace brix
