#include "strconv.h"

#include <climits>
#include <cstring>
#include <cwchar>

namespace brix {
namespace {

// The converters take int counts; a longer text is cut, never overrun.
int ClampCount(size_t count) { return count > INT_MAX / 2 ? INT_MAX / 2 : static_cast<int>(count); }

}  // namespace

std::wstring ToWideN(const char* text, size_t count, UINT codePage) {
  const int n = ClampCount(count);
  if (!text || n == 0) return {};
  const int units = MultiByteToWideChar(codePage, 0, text, n, nullptr, 0);
  if (units <= 0) return {};
  std::wstring out(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, text, n, &out[0], units);
  return out;
}

std::string ToNarrowN(const wchar_t* text, size_t count, UINT codePage) {
  const int n = ClampCount(count);
  if (!text || n == 0) return {};
  const int bytes = WideCharToMultiByte(codePage, 0, text, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(codePage, 0, text, n, &out[0], bytes, nullptr, nullptr);
  return out;
}

std::wstring ToWide(const char* text, UINT codePage) { return text ? ToWideN(text, std::strlen(text), codePage) : L""; }

std::string ToNarrow(const wchar_t* text, UINT codePage) {
  return text ? ToNarrowN(text, std::wcslen(text), codePage) : "";
}

}  // namespace brix
