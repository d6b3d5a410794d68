#pragma once
// The installer's command line: options split at slashes, a key up to the
// first space, the trimmed rest as its value.
#include <map>
#include <string>

namespace brix {

class CommandLineMap {
 public:
  static CommandLineMap Build(const std::wstring& commandLine);
  // True when the key is present; its value (possibly empty) in *value.
  bool Lookup(const std::wstring& key, std::wstring* value = nullptr) const;
  const std::map<std::wstring, std::wstring>& Entries() const { return entries_; }

 private:
  std::map<std::wstring, std::wstring> entries_;
};

}  // namespace brix
