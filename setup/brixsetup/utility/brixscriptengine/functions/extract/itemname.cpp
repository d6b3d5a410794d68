#include "itemname.h"

#include <cwchar>
#include <cwctype>

namespace brix {
namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

bool SameLetters(const wchar_t* a, size_t n, const wchar_t* b) {
  if (std::wcslen(b) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (std::towupper(a[i]) != std::towupper(b[i])) return false;
  return true;
}

// Windows maps these names to devices in every folder, with any extension.
bool IsDeviceName(const wchar_t* part, size_t n) {
  size_t base = 0;
  while (base < n && part[base] != L'.') ++base;
  while (base > 0 && part[base - 1] == L' ') --base;
  static const wchar_t* const kFixed[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* d : kFixed)
    if (SameLetters(part, base, d)) return true;
  if (base == 4 && (SameLetters(part, 3, L"COM") || SameLetters(part, 3, L"LPT"))) {
    const wchar_t digit = part[3];
    // Digits 1-9 and the superscripts Windows also accepts there.
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  }
  return false;
}

bool IsAcceptablePart(const wchar_t* part, size_t n) {
  bool hasLetter = false;
  for (size_t i = 0; i < n; ++i)
    if (part[i] != L'.' && part[i] != L' ') hasLetter = true;
  return hasLetter && !IsDeviceName(part, n);
}

}  // namespace

bool IsContainedItemName(const wchar_t* name) {
  if (!name || !*name || IsSeparator(name[0])) return false;
  const wchar_t* part = name;
  for (const wchar_t* p = name;; ++p) {
    if (*p == L':') return false;
    if (*p == L'\0' || IsSeparator(*p)) {
      if (!IsAcceptablePart(part, static_cast<size_t>(p - part))) return false;
      if (*p == L'\0') return true;
      part = p + 1;
    }
  }
}

}  // namespace brix
