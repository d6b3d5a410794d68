#include <windows.h>
#include <shellapi.h>

#include <exception>

#include "console.h"
#include "windowstext.h"

namespace quillpack {
namespace {

HANDLE HandleOf(std::FILE* stream) { return GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE); }

bool IsConsole(HANDLE h) {
  DWORD mode;
  return h && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
  // main's argv went through the ANSI code page, which loses what it cannot
  // hold: the wide command line keeps every name.
  std::vector<std::string> out;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; wide && i < count; ++i) {
    std::string arg;
    ToUtf8(wide[i], arg);
    out.push_back(arg);
  }
  if (wide) LocalFree(wide);
  return out;
}

void PrintText(std::FILE* stream, const std::string& text) {
  const HANDLE h = HandleOf(stream);
  if (IsConsole(h)) {
    std::fflush(stream);
    try {
      const std::wstring wide = Wide(text);
      DWORD written = 0;
      WriteConsoleW(h, wide.data(), DWORD(wide.size()), &written, nullptr);
      return;
    } catch (const std::exception&) {
      // Not UTF-8 (a script's own bytes quoted in an error): as it is.
    }
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

bool StderrIsTerminal() { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }

}  // namespace quillpack
