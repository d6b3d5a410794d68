// The 7z item-name check against a model of how Windows joins a name to
// the destination folder: whatever the check lets through must stay below
// that folder and name a file, not a device.
#include <cwctype>
#include <vector>

#include "fuzzsupport.h"
#include "itemname.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

std::wstring Upper(std::wstring s) {
  for (wchar_t& c : s)
    if (c >= L'a' && c <= L'z') c = wchar_t(c - L'a' + L'A');
  return s;
}

// What Windows makes of one part: trailing dots and blanks dropped.
std::wstring AsWindowsKeepsIt(const std::wstring& part) {
  size_t n = part.size();
  while (n > 0 && (part[n - 1] == L'.' || part[n - 1] == L' ')) --n;
  return part.substr(0, n);
}

bool IsDevice(const std::wstring& part) {
  std::wstring base = part.substr(0, part.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = Upper(base);
  for (const wchar_t* d : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
    const wchar_t d = base[3];
    return (d >= L'1' && d <= L'9') || d == L'\u00B9' || d == L'\u00B2' || d == L'\u00B3';
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring name = fuzz::Utf16Units(data, size);
  name = name.substr(0, name.find(L'\0'));  // the decoder's names end at their NUL
  if (!brix::IsContainedItemName(name.c_str())) return 0;

  FUZZ_CHECK(!name.empty() && !IsSeparator(name[0]));
  FUZZ_CHECK(name.find(L':') == std::wstring::npos);  // drive, stream or device path
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i)
    if (i == name.size() || IsSeparator(name[i])) {
      parts.push_back(name.substr(start, i - start));
      start = i + 1;
    }
  for (const std::wstring& part : parts) {
    const std::wstring kept = AsWindowsKeepsIt(part);
    FUZZ_CHECK(!kept.empty());                   // no "", ".", "..", "..." or " ."
    FUZZ_CHECK(kept.find_first_not_of(L' ') != std::wstring::npos);
    FUZZ_CHECK(!IsDevice(part));
  }
  return 0;
}
