#include "installer.h"

#include <atomic>

#include "testpaths.h"

namespace it {

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
  return harness::Run(opt);
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
