// The debugger loop: starts the program as our debuggee and turns its debug
// events into trace lines and an exit code.
#include "boxwatcher.h"

#include <algorithm>
#include <atomic>

#include "handles.h"

namespace harness {
namespace {

constexpr DWORD kSliceMs = 20;               // how often the loop looks at the clock and the pipe
constexpr size_t kMaxTraceUnits = 1 << 20;    // longest line read from the debuggee
constexpr DWORD kExitGraceMs = 10000;         // for the exit event after TerminateProcess
constexpr uintptr_t kPage = 4096;

// The length field of the event is 16 bits wide and cuts long lines, so the
// text is read up to its terminator instead.
std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info, UINT narrowCodePage) {
  const size_t unit = info.fUnicode ? 2 : 1;
  const size_t cap = kMaxTraceUnits * unit;
  auto addr = reinterpret_cast<uintptr_t>(info.lpDebugStringData);
  std::string bytes;
  size_t scanned = 0, end = std::string::npos;
  char buf[kPage];
  while (end == std::string::npos && bytes.size() < cap) {
    // Stop at page edges: one unreadable page must not cost the whole read.
    size_t want = std::min<size_t>(kPage - addr % kPage, cap - bytes.size());
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<LPCVOID>(addr), buf, want, &got) || got == 0) break;
    bytes.append(buf, got);
    addr += got;
    for (; scanned + unit <= bytes.size(); scanned += unit) {
      if (bytes[scanned] == 0 && (unit == 1 || bytes[scanned + 1] == 0)) {
        end = scanned;
        break;
      }
    }
  }
  if (end == std::string::npos) end = bytes.size() - bytes.size() % unit;
  if (unit == 2) return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), end / 2);
  if (end == 0) return {};
  int n = MultiByteToWideChar(narrowCodePage, 0, bytes.data(), static_cast<int>(end), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(narrowCodePage, 0, bytes.data(), static_cast<int>(end), &w[0], n);
  return w;
}

// Reads whatever the program wrote so far, without blocking.
void DrainPipe(HANDLE pipe, std::string* out) {
  if (!pipe) return;
  for (;;) {
    DWORD avail = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &avail, nullptr) || avail == 0) return;
    char buf[4096];
    DWORD got = 0;
    if (!ReadFile(pipe, buf, std::min<DWORD>(avail, sizeof buf), &got, nullptr) || got == 0) return;
    out->append(buf, got);
  }
}

}  // namespace

RunResult Run(const RunOptions& options) {
  RunResult result;
  const ULONGLONG start = GetTickCount64();

  std::wstring env;
  if (!options.environment.empty()) env = MergedEnvironmentBlock(options.environment);

  // The program gets NUL (or our pipe), never our own standard handles: Wine
  // makes a child's input and output its Linux descriptors 0 and 1, which
  // everything it starts inherits, the desktop process that outlives it too,
  // and whoever reads our output would then wait for that process as well.
  // (Wine passes descriptor 2 on whatever we do.)
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  brix::UniqueHandle pipeRead, childOut;
  brix::UniqueFileHandle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         &inherit, OPEN_EXISTING, 0, nullptr));
  if (options.captureOutput) {
    HANDLE r = nullptr, w = nullptr;
    if (CreatePipe(&r, &w, &inherit, 1 << 16)) {
      SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);  // only the write end goes to the program
      pipeRead.reset(r);
      childOut.reset(w);
    }
  }
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nul.get();
  si.hStdOutput = childOut ? childOut.get() : nul.get();
  si.hStdError = si.hStdOutput;

  std::wstring cmd = options.commandLine;
  cmd.push_back(L'\0');
  PROCESS_INFORMATION pi = {};
  BOOL ok = CreateProcessW(options.application.empty() ? nullptr : options.application.c_str(), &cmd[0], nullptr,
                           nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS | CREATE_UNICODE_ENVIRONMENT,
                           env.empty() ? nullptr : &env[0],
                           options.workingDir.empty() ? nullptr : options.workingDir.c_str(), &si, &pi);
  childOut.reset();
  nul.reset();
  if (!ok) {
    result.startError = GetLastError();
    result.elapsedMs = static_cast<DWORD>(GetTickCount64() - start);
    return result;
  }
  result.started = true;
  result.processId = pi.dwProcessId;
  const brix::UniqueHandle process(pi.hProcess), thread(pi.hThread);

  std::atomic<size_t> traceCount{0};
  BoxWatcher watcher(pi.dwProcessId, options.onMessageBox, &traceCount);

  const ULONGLONG deadline = start + options.timeoutMs;
  ULONGLONG giveUp = 0;  // set once the program has been terminated
  bool sawBreakpoint = false, exited = false;
  while (!exited) {
    DEBUG_EVENT ev = {};
    if (!WaitForDebugEvent(&ev, kSliceMs)) {
      DrainPipe(pipeRead.get(), &result.output);
      const ULONGLONG now = GetTickCount64();
      if (!result.timedOut && now >= deadline) {
        result.timedOut = true;
        TerminateProcess(process.get(), kTimeoutExitCode);
        giveUp = now + kExitGraceMs;
      } else if (result.timedOut && now >= giveUp) {
        // The exit event never came: let the process go and wait for it plainly.
        DebugActiveProcessStop(pi.dwProcessId);
        WaitForSingleObject(process.get(), kExitGraceMs);
        GetExitCodeProcess(process.get(), &result.exitCode);
        break;
      }
      continue;
    }
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        brix::UniqueHandle(ev.u.CreateProcessInfo.hFile).reset();
        break;
      case LOAD_DLL_DEBUG_EVENT:
        brix::UniqueHandle(ev.u.LoadDll.hFile).reset();
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (!sawBreakpoint && ev.u.Exception.ExceptionRecord.ExceptionCode == EXCEPTION_BREAKPOINT) {
          sawBreakpoint = true;  // the loader's breakpoint for a new debuggee
        } else {
          status = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        std::wstring line = ReadDebugString(process.get(), ev.u.DebugString, options.narrowCodePage);
        if (options.onTrace) options.onTrace(line);
        result.traces.push_back(std::move(line));
        traceCount.store(result.traces.size());
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        if (ev.dwProcessId == pi.dwProcessId) {
          result.exitCode = ev.u.ExitProcess.dwExitCode;
          exited = true;
        }
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
    DrainPipe(pipeRead.get(), &result.output);
    if (!exited && !result.timedOut && GetTickCount64() >= deadline) {
      result.timedOut = true;
      TerminateProcess(process.get(), kTimeoutExitCode);
      giveUp = GetTickCount64() + kExitGraceMs;
    }
  }
  watcher.Stop();
  result.boxes = watcher.Boxes();
  // Whatever is still in the pipe; a grandchild may hold its write end, so
  // this does not wait for the pipe to close.
  DrainPipe(pipeRead.get(), &result.output);
  result.elapsedMs = static_cast<DWORD>(GetTickCount64() - start);
  return result;
}

}  // namespace harness
