#include "cmdline.h"

namespace brix {
namespace {

bool Trimmed(wchar_t c) { return c == L' ' || c <= 0x1D; }

std::wstring TrimValue(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && Trimmed(s[b])) ++b;
  while (e > b && Trimmed(s[e - 1])) --e;
  return s.substr(b, e - b);
}

}  // namespace

CommandLineMap CommandLineMap::Build(const std::wstring& commandLine) {
  CommandLineMap map;
  size_t pos = 0;
  while (pos < commandLine.size()) {
    size_t end = commandLine.find(L'/', pos);
    if (end == std::wstring::npos) end = commandLine.size();
    if (end > pos) {
      const std::wstring token = commandLine.substr(pos, end - pos);
      const size_t space = token.find(L' ');
      std::wstring key = token.substr(0, space);
      std::wstring value;
      if (space != std::wstring::npos) {
        value = TrimValue(token.substr(space));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') value = value.substr(1, value.size() - 2);
      }
      map.entries_[key] = value;
    }
    pos = end + 1;
  }
  return map;
}

bool CommandLineMap::Lookup(const std::wstring& key, std::wstring* value) const {
  auto it = entries_.find(key);
  if (it == entries_.end()) return false;
  if (value) *value = it->second;
  return true;
}

}  // namespace brix
