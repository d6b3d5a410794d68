#pragma once
// Conversions between script text (UTF-8 or an 8-bit code page) and host
// text (UTF-16). Conversions stop at the first NUL, as the -1 length rule of
// the system converters does.
#include <windows.h>

#include <string>

namespace brix {

std::wstring ToWide(const char* text, UINT codePage = CP_UTF8);
std::string ToNarrow(const wchar_t* text, UINT codePage = CP_UTF8);
// Counted forms: exactly `count` units, NULs included.
std::wstring ToWideN(const char* text, size_t count, UINT codePage);
std::string ToNarrowN(const wchar_t* text, size_t count, UINT codePage);
inline std::wstring Utf8ToWide(const std::string& s) { return ToWide(s.c_str(), CP_UTF8); }
inline std::string WideToUtf8(const std::wstring& s) { return ToNarrow(s.c_str(), CP_UTF8); }
inline std::string WideToAnsi(const std::wstring& s) { return ToNarrow(s.c_str(), CP_THREAD_ACP); }
inline std::wstring AnsiToWide(const std::string& s) { return ToWide(s.c_str(), CP_THREAD_ACP); }

}  // namespace brix
