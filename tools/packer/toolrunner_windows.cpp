#include <windows.h>

#include "binary.h"
#include "stopsignal.h"
#include "toolrunner.h"
#include "windowstext.h"

namespace quillpack {
namespace {

// One argument as CommandLineToArgvW and the C runtime split it back.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

}  // namespace

void RunTool(const std::vector<std::string>& argv, const std::string& cwd) {
  ThrowIfStopped();
  std::wstring command;
  for (const std::string& a : argv) command += (command.empty() ? L"" : L" ") + Quoted(Wide(a));

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Handle readEnd, writeEnd, nul;
  if (!CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0))
    throw PackError("cannot create a pipe: " + WindowsError(GetLastError()));
  SetHandleInformation(readEnd.h, HANDLE_FLAG_INHERIT, 0);
  nul.h = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul.h;
  si.hStdOutput = writeEnd.h;
  si.hStdError = writeEnd.h;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, WidePath(cwd).c_str(),
                      &si, &pi)) {
    const DWORD e = GetLastError();
    throw PackError("cannot run " + argv[0] + " in " + cwd + ": " + WindowsError(e) +
                    (e == ERROR_FILE_NOT_FOUND ? " (is it installed and on PATH?)" : ""));
  }
  Handle process, thread;
  process.h = pi.hProcess;
  thread.h = pi.hThread;
  SetRunningChild(reinterpret_cast<intptr_t>(pi.hProcess));
  CloseHandle(writeEnd.h);
  writeEnd.h = nullptr;

  std::string output;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(readEnd.h, buf, sizeof buf, &n, nullptr) && n > 0) output.append(buf, n);
  WaitForSingleObject(pi.hProcess, INFINITE);
  SetRunningChild(0);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  // The tool failed because it was stopped with us: say that, not its error.
  ThrowIfStopped();

  const size_t first = output.find_first_not_of(" \r\n");
  output = first == std::string::npos ? std::string() : output.substr(first, output.find_last_not_of(" \r\n") - first + 1);
  if (code != 0)
    throw PackError(argv[0] + " failed with exit code " + std::to_string(code) +
                    (output.empty() ? std::string() : ":\n" + output));
}

}  // namespace quillpack
