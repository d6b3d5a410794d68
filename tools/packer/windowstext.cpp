#include "windowstext.h"

#include "binary.h"
#include "utf16.h"

namespace quillpack {

std::wstring Wide(const std::string& utf8) {
  std::u16string units;
  if (!Utf8ToUtf16(utf8, units)) throw PackError(utf8 + ": not valid UTF-8");
  return std::wstring(units.begin(), units.end());
}

std::wstring WidePath(const std::string& utf8) {
  std::wstring path = Wide(utf8);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  // CreateDirectory already stops at MAX_PATH - 12.
  if (path.size() < MAX_PATH - 12 || path.compare(0, 4, L"\\\\?\\") == 0) return path;
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), n, &full[0], nullptr));
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool ToUtf8(const std::wstring& wide, std::string& utf8) {
  std::u16string units(wide.begin(), wide.end());
  bool exact = true;
  utf8 = Utf16ToUtf8(units, &exact);
  return exact;
}

std::string WindowsError(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD n = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                           reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0) n = FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out;
  if (n != 0) {
    std::wstring w(text, n);
    while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ' || w.back() == L'.')) w.pop_back();
    ToUtf8(w, out);
  }
  if (text) LocalFree(text);
  return out.empty() ? "error " + std::to_string(code) : out + " (error " + std::to_string(code) + ")";
}

}  // namespace quillpack
