#include <windows.h>

#include "argquote.h"
#include "binary.h"
#include "handles.h"
#include "stopsignal.h"
#include "toolrunner.h"
#include "windowstext.h"

namespace quillpack {
namespace {


}  // namespace

void RunTool(const std::vector<std::string>& argv, const std::string& cwd) {
  ThrowIfStopped();
  std::wstring command;
  for (const std::string& a : argv) command += (command.empty() ? L"" : L" ") + brix::QuoteArgument(Wide(a));

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  brix::UniqueHandle readEnd, writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0))
    throw PackError("cannot create a pipe: " + WindowsError(GetLastError()));
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
  brix::UniqueFileHandle nul(
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));

  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul.get();
  si.hStdOutput = writeEnd.get();
  si.hStdError = writeEnd.get();
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, WidePath(cwd).c_str(),
                      &si, &pi)) {
    const DWORD e = GetLastError();
    throw PackError("cannot run " + argv[0] + " in " + cwd + ": " + WindowsError(e) +
                    (e == ERROR_FILE_NOT_FOUND ? " (is it installed and on PATH?)" : ""));
  }
  brix::UniqueHandle process(pi.hProcess), thread(pi.hThread);
  SetRunningChild(reinterpret_cast<intptr_t>(pi.hProcess));
  // Our copy of the write end closed, the read ends when the tool's does.
  writeEnd.reset();

  std::string output;
  char buf[4096];
  DWORD n = 0;
  while (ReadFile(readEnd.get(), buf, sizeof buf, &n, nullptr) && n > 0) output.append(buf, n);
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
