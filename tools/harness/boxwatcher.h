#pragma once
// Finds and answers the message boxes of one process while the debugger
// thread runs its loop. It runs on a thread of its own: reading a box's text
// sends a message to the box, and a debuggee frozen at a debug event could
// never answer it if the debugger thread itself asked.
#include "harness.h"

#include <atomic>
#include <map>

namespace harness {

class BoxWatcher {
 public:
  BoxWatcher(DWORD processId, MessageBoxHandler handler, const std::atomic<size_t>* traceCount);
  ~BoxWatcher();
  void Stop();
  std::vector<MessageBoxRecord> Boxes() const;

 private:
  void Loop();
  void Sweep();

  DWORD pid_;
  MessageBoxHandler handler_;
  const std::atomic<size_t>* traceCount_;
  struct Seen {
    int press = 0;  // id asked for, 0 when left alone
    ULONGLONG pressedAt = 0;
  };
  std::map<HWND, Seen> seen_;
  std::vector<MessageBoxRecord> boxes_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace harness
