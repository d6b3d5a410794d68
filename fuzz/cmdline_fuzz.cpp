// The installer's command-line map over any command line.
#include "cmdline.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring line = fuzz::Utf16Units(data, size);
  const brix::CommandLineMap map = brix::CommandLineMap::Build(line);
  for (const auto& entry : map.Entries()) {
    const std::wstring& key = entry.first;
    // Options are split at slashes and a key ends at the first blank.
    FUZZ_CHECK(key.find(L'/') == std::wstring::npos);
    FUZZ_CHECK(key.find(L' ') == std::wstring::npos);
    FUZZ_CHECK(entry.second.find(L'/') == std::wstring::npos);
    FUZZ_CHECK(entry.second.size() < line.size());
    std::wstring value;
    FUZZ_CHECK(map.Lookup(key, &value) && value == entry.second);
  }
  // The lookups the installer makes.
  std::wstring value;
  for (const wchar_t* key : {L"InstallSlience", L"InstallListenWnd", L"InstallPath", L"InstallNormalQuillon"})
    if (map.Lookup(key, &value)) FUZZ_CHECK(map.Lookup(key));
  return 0;
}
