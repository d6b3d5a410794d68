#pragma once
// Test harness: runs a Windows program as its debugger, the way a Windows
// test tool watches an installer. It collects the program's debugger output
// (trace lines), answers its message boxes and reports the full exit code.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "argquote.h"
#include "handles.h"

namespace harness {

// A message box ("#32770" dialog) the program showed.
struct MessageBoxRecord {
  HWND handle = nullptr;
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // ids of the box's visible buttons (IDOK, IDCANCEL, ...)
  int pressed = 0;           // id clicked, 0 when the box was left alone
  size_t tracesBefore = 0;   // trace lines received when the box was seen
};

// Returns the id of the button to press, or 0 to leave the box.
using MessageBoxHandler = std::function<int(const MessageBoxRecord&)>;

// IDOK when the box has it, otherwise IDCANCEL.
int PressOkOrCancel(const MessageBoxRecord& box);
// A handler that always asks for one id.
MessageBoxHandler Press(int id);

// Exit code of a program the harness killed at its timeout.
constexpr DWORD kTimeoutExitCode = WAIT_TIMEOUT;

struct RunOptions {
  std::wstring commandLine;  // full command line, program first (see BuildCommandLine)
  std::wstring application;  // optional: the program path when it should not come from the command line
  std::wstring workingDir;   // empty: the harness's own current folder
  // Set in a copy of the current environment (names compared without case).
  std::vector<std::pair<std::wstring, std::wstring>> environment;
  DWORD timeoutMs = 60000;
  MessageBoxHandler onMessageBox;                   // empty: PressOkOrCancel
  std::function<void(const std::wstring&)> onTrace;  // each line as it arrives (debugger thread)
  // Wine hands even OutputDebugStringW text over in the debuggee's ANSI code
  // page; that is normally the harness's own.
  UINT narrowCodePage = CP_ACP;
  // Collect the program's stdout and stderr into RunResult::output; without
  // it the program writes to NUL.
  bool captureOutput = false;
};

struct RunResult {
  bool started = false;
  DWORD startError = 0;  // GetLastError of CreateProcess when not started
  DWORD processId = 0;
  bool timedOut = false;  // killed by the harness after timeoutMs
  DWORD exitCode = 0;     // all 32 bits
  std::vector<std::wstring> traces;  // in arrival order, exactly as sent
  std::vector<MessageBoxRecord> boxes;
  std::string output;  // bytes of stdout and stderr, with captureOutput
  DWORD elapsedMs = 0;
};

// Runs the program to its end (or to the timeout) and reports what it did.
RunResult Run(const RunOptions& options);

// Quotes one argument so CommandLineToArgvW gives it back unchanged.
using brix::QuoteArgument;
// Program and arguments joined into one command line, each quoted as needed.
std::wstring BuildCommandLine(const std::vector<std::wstring>& args);

// Copy of the current environment with the given variables set, as a
// sorted, double-NUL-terminated block for CREATE_UNICODE_ENVIRONMENT.
std::wstring MergedEnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& vars);

// Short lower-case name of a dialog button id ("ok", "cancel", ...), or the
// number for ids without one.
std::wstring ButtonName(int id);
// The id for such a name, 0 when unknown.
int ButtonId(const std::wstring& name);

// A message received by a ListeningWindow.
struct WindowMessage {
  UINT id = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// A hidden top-level window on a thread of its own, standing in for the
// program that asks an installer to notify it. Records every message with an
// id of WM_USER or above. Needs a display under Wine, as any window does.
class ListeningWindow {
 public:
  // An empty class name picks a private one.
  explicit ListeningWindow(const std::wstring& className = L"");
  ~ListeningWindow();
  ListeningWindow(const ListeningWindow&) = delete;
  ListeningWindow& operator=(const ListeningWindow&) = delete;

  // The window, or null when it could not be created (see CreateError).
  // Keeps its value after Destroy so a test can hand out a stale handle.
  HWND Handle() const { return hwnd_; }
  DWORD CreateError() const { return createError_; }
  const std::wstring& ClassName() const { return className_; }

  std::vector<WindowMessage> Messages() const;
  // True once `count` messages with this id have arrived, false when
  // timeoutMs passes first.
  bool WaitForMessage(UINT id, DWORD timeoutMs, size_t count = 1) const;
  // Closes the window and ends its thread: the handle is no window any more.
  void Destroy();
  // The window's thread stops handling messages (a hung program) until the
  // window is destroyed; returns once it has stopped.
  void Freeze();

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void ThreadMain();
  size_t CountLocked(UINT id) const;

  std::wstring className_;
  HWND hwnd_ = nullptr;
  DWORD createError_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool ready_ = false;
  std::vector<WindowMessage> messages_;
  brix::UniqueHandle thaw_;  // set when a frozen window may go on
  bool frozen_ = false;
};

// One start of the stand-in product (Quillon.exe from the productrecorder
// fixture), as recorded in its started.txt or in the file QUILL_RECORD names.
struct ProductStart {
  std::wstring commandLine;
  std::wstring parentImage;  // image file name of the process that started it, empty when gone
  std::wstring currentDir;
  DWORD parentPid = 0;
};
// The records of a file in order; an absent file gives none.
std::vector<ProductStart> ReadProductStarts(const std::wstring& path);

// UTF-16 <-> UTF-8 without depending on the code under test.
std::string ToUtf8(const std::wstring& s);
std::wstring FromUtf8(const std::string& s);

}  // namespace harness
