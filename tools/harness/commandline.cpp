// Command lines and environment blocks for the programs the harness starts.
#include "harness.h"

#include <algorithm>
#include <map>

namespace harness {

std::wstring BuildCommandLine(const std::vector<std::wstring>& args) {
  std::wstring line;
  for (const auto& a : args) {
    if (!line.empty()) line.push_back(L' ');
    line += QuoteArgument(a);
  }
  return line;
}

namespace {
struct NoCase {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_LESS_THAN;
  }
};
}  // namespace

std::wstring MergedEnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& vars) {
  std::map<std::wstring, std::wstring, NoCase> env;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
      std::wstring entry(p);
      // Names may begin with '=' (the per-drive folders such as "=C:").
      size_t eq = entry.find(L'=', 1);
      if (eq == std::wstring::npos) continue;
      env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& v : vars) {
    env.erase(v.first);  // the new spelling of the name wins
    env[v.first] = v.second;
  }
  std::wstring out;
  for (const auto& e : env) {
    out += e.first;
    out.push_back(L'=');
    out += e.second;
    out.push_back(L'\0');
  }
  out.push_back(L'\0');
  if (env.empty()) out.push_back(L'\0');
  return out;
}

}  // namespace harness
