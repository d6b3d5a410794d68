#include "runmode.h"

#include <shlwapi.h>

#include <cwchar>

#include "pathutil.h"
#include "productconstants.h"
#include "configglobals.h"
#include "scriptglobals.h"

namespace brix {
namespace {

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

SingleInstanceName ChooseSingleInstanceName(lua_State* L) {
  SingleInstanceName name{ReadGlobalText(L, globals::kInstallMutexGuid), ReadGlobalInteger(L, globals::kAppId)};
  if (name.baseName.empty())
    name.baseName = product::kDefaultMutexName;
  else
    name.appId = 0;
  return name;
}

HWND ListenWindowFrom(const CommandLineMap& args) {
  std::wstring listen;
  if (!args.Lookup(L"InstallListenWnd", &listen)) return nullptr;
  return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(wcstoul(listen.c_str(), nullptr, 10)));
}

bool DecideSilent(lua_State* L, const CommandLineMap& args) {
  const bool enableSs = ReadGlobalFlag(L, globals::kEnableSilentInstall);
  std::wstring value;
  if (args.Lookup(L"InstallSlience", &value) && value == L"true") return true;
  return enableSs ? ReadGlobalFlag(L, globals::kSilentInstall) : false;
}

bool MayRunAlongside(const CommandLineMap& args) { return args.Lookup(L"InstallSlience"); }

InstallPathOption InstallPathFrom(const CommandLineMap& args, std::wstring* folder) {
  std::wstring path;
  if (!args.Lookup(L"InstallPath", &path) || path.empty()) return InstallPathOption::Absent;
  if (path.size() >= MAX_PATH) return InstallPathOption::TooLong;
  if (!EndsWith(path, product::kFolderName)) {
    wchar_t buf[MAX_PATH] = {};
    lstrcpynW(buf, path.c_str(), MAX_PATH);
    // Fails, leaving an empty folder, when the result would not fit.
    if (!PathAppendW(buf, product::kFolderName) || !*buf) return InstallPathOption::TooLong;
    path = buf;
  }
  *folder = path;
  return InstallPathOption::Given;
}

void ApplyCommandLineOverrides(lua_State* L, const CommandLineMap& args) {
  std::wstring path;
  if (InstallPathFrom(args, &path) == InstallPathOption::Given) WriteGlobalText(L, globals::kInstallPath, path);
  std::wstring normal;
  if (args.Lookup(L"InstallNormalQuillon", &normal) && wcstol(normal.c_str(), nullptr, 10) == 1)
    WriteGlobalFlag(L, globals::kStartWithWindows, true);
}

bool InstallFolderFits(const std::wstring& folder) {
  std::wstring expanded;
  return ExpandPath(folder, expanded);
}

}  // namespace brix
