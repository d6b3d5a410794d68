#include "installer.h"

#include <atomic>
#include <thread>

#include "testpaths.h"

namespace it {
namespace {

struct Resource {
  std::wstring type, name;  // "#n" for integer ids
  WORD language;
  std::string bytes;
};

std::wstring KeyText(LPCWSTR key) {
  return IS_INTRESOURCE(key) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(key)) : std::wstring(key);
}
LPCWSTR KeyOf(const std::wstring& text) {
  return text[0] == L'#' ? MAKEINTRESOURCEW(_wtoi(text.c_str() + 1)) : text.c_str();
}

// The enumeration callbacks are WINAPI (stdcall on i686), which lambdas are not.
BOOL CALLBACK AddLanguage(HMODULE m, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR all) {
  HRSRC info = FindResourceExW(m, type, name, lang);
  const char* p = static_cast<const char*>(LockResource(LoadResource(m, info)));
  reinterpret_cast<std::vector<Resource>*>(all)->push_back(
      {KeyText(type), KeyText(name), lang, std::string(p, SizeofResource(m, info))});
  return TRUE;
}
BOOL CALLBACK AddName(HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR all) {
  EnumResourceLanguagesW(m, type, name, AddLanguage, all);
  return TRUE;
}
BOOL CALLBACK AddType(HMODULE m, LPWSTR type, LONG_PTR all) {
  EnumResourceNamesW(m, type, AddName, all);
  return TRUE;
}

std::vector<Resource> AllResources(const std::wstring& exe) {
  std::vector<Resource> all;
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!m) return all;
  EnumResourceTypesW(m, AddType, reinterpret_cast<LONG_PTR>(&all));
  FreeLibrary(m);
  return all;
}

// The program file of a process, empty when it cannot be read.
std::wstring ImageOf(DWORD pid) {
  brix::UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &size)) return L"";
  return path;
}

struct WindowSearch {
  std::wstring exe;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectInstallerWindows(HWND w, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  wchar_t cls[32] = {};
  GetClassNameW(w, cls, 32);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (std::wstring(cls) == L"CDlgInstall" && lstrcmpiW(ImageOf(pid).c_str(), search->exe.c_str()) == 0)
    search->found.push_back(w);
  return TRUE;
}

}  // namespace

std::vector<HWND> InstallerWindowsOf(const std::wstring& exe) {
  WindowSearch search{exe, {}};
  EnumWindows(CollectInstallerWindows, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Rewrites the installer copy's resources with (type, name) replaced by
// `bytes`, or left out when `bytes` is null.
bool ReplaceResource(const std::wstring& exe, const std::wstring& type, const std::wstring& name,
                     const std::string* bytes) {
  auto all = AllResources(exe);
  if (all.empty()) return false;
  HANDLE h = BeginUpdateResourceW(exe.c_str(), TRUE);
  if (!h) return false;
  bool ok = true, matched = false;
  for (auto& r : all) {
    if (r.type == type && r.name == name) {
      matched = true;
      if (!bytes) continue;
      r.bytes = *bytes;
    }
    ok = ok && UpdateResourceW(h, KeyOf(r.type), KeyOf(r.name), r.language, &r.bytes[0],
                               static_cast<DWORD>(r.bytes.size()));
  }
  // Replacing what is not there is a fault of the test, not a success.
  if (bytes && !matched) ok = false;
  return EndUpdateResourceW(h, !ok) && ok;
}


std::wstring DirOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring CopyInstaller(const std::wstring& installer, const std::wstring& name) {
  std::wstring dir = testsupport::MakeTempDir(L"inst");
  std::wstring target = dir + L"\\" + name;
  CopyFileW(testsupport::BinPath(installer).c_str(), target.c_str(), FALSE);
  return target;
}

harness::RunResult RunInstaller(const std::wstring& exe, const std::vector<std::wstring>& args,
                                harness::MessageBoxHandler onBox, DWORD timeoutMs) {
  std::vector<std::wstring> all{exe};
  all.insert(all.end(), args.begin(), args.end());
  harness::RunOptions opt;
  opt.commandLine = harness::BuildCommandLine(all);
  opt.timeoutMs = timeoutMs;
  if (onBox) opt.onMessageBox = onBox;
  // A run that ends in window mode leaves its window to the user: close it
  // as a user would, so the run ends.
  std::atomic<bool> done{false};
  std::thread closer([&] {
    while (!done.load()) {
      for (HWND w : InstallerWindowsOf(exe)) PostMessageW(w, WM_CLOSE, 0, 0);
      Sleep(100);
    }
  });
  harness::RunResult r = harness::Run(opt);
  done.store(true);
  closer.join();
  return r;
}

std::vector<std::wstring> Lines(const harness::RunResult& r) {
  std::vector<std::wstring> out;
  for (std::wstring t : r.traces) {
    if (t.compare(0, 3, L"tr ") != 0) continue;
    t = t.substr(3);
    while (!t.empty() && (t.back() == L'\n' || t.back() == L'\r')) t.pop_back();
    out.push_back(t);
  }
  return out;
}

bool HasLine(const harness::RunResult& r, const std::wstring& line) {
  for (const auto& l : Lines(r))
    if (l == line) return true;
  return false;
}

std::vector<std::wstring> Hooks(const harness::RunResult& r) {
  std::vector<std::wstring> out;
  for (const auto& l : Lines(r))
    if (l.compare(0, 5, L"hook:") == 0) out.push_back(l.substr(5));
  return out;
}

std::wstring Logged(const harness::RunResult& r, const std::wstring& name) {
  const std::wstring prefix = L"var:" + name + L"=";
  for (const auto& l : Lines(r))
    if (l.compare(0, prefix.size(), prefix) == 0) return l.substr(prefix.size());
  return L"<none>";
}

std::wstring UniqueMutexName() {
  static std::atomic<int> n{0};
  return L"Local\\quill-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(n++);
}

}  // namespace it
