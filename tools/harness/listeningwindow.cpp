// A window that other processes notify, with its own thread and message loop
// so it answers sent messages while the test itself waits on the program.
#include "harness.h"

#include <atomic>
#include <chrono>

namespace harness {
namespace {

// Handled before recording: the thread blocks until the window is destroyed.
constexpr UINT kFreezeMessage = WM_APP + 0x3FFF;

std::wstring PrivateClassName() {
  static std::atomic<unsigned> counter{0};
  return L"QuillHarnessListener_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(counter++);
}

}  // namespace

ListeningWindow::ListeningWindow(const std::wstring& className)
    : className_(className.empty() ? PrivateClassName() : className), thaw_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  thread_ = std::thread([this] { ThreadMain(); });
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return ready_; });
  if (!hwnd_) {
    lock.unlock();
    thread_.join();
  }
}

ListeningWindow::~ListeningWindow() { Destroy(); }

void ListeningWindow::ThreadMain() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.lpszClassName = className_.c_str();
  // A second window of the same class in this process shares the
  // registration; the procedure finds its object per window.
  bool registered = RegisterClassExW(&wc) != 0;
  DWORD err = registered ? 0 : GetLastError();
  HWND hwnd = nullptr;
  if (registered || err == ERROR_CLASS_ALREADY_EXISTS) {
    hwnd = CreateWindowExW(0, className_.c_str(), L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr, inst, this);
    err = hwnd ? 0 : GetLastError();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    hwnd_ = hwnd;
    createError_ = err;
    ready_ = true;
  }
  changed_.notify_all();
  if (hwnd) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (registered) UnregisterClassW(className_.c_str(), inst);  // fails harmlessly while others use it
}

LRESULT CALLBACK ListeningWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<ListeningWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && msg == kFreezeMessage) {
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->frozen_ = true;
    }
    self->changed_.notify_all();
    WaitForSingleObject(self->thaw_.get(), INFINITE);
    return 0;
  }
  if (self && msg >= WM_USER) {
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->messages_.push_back({msg, wp, lp});
    }
    self->changed_.notify_all();
    return 0;
  }
  if (msg == WM_DESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

std::vector<WindowMessage> ListeningWindow::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

size_t ListeningWindow::CountLocked(UINT id) const {
  size_t n = 0;
  for (const auto& m : messages_) n += m.id == id;
  return n;
}

bool ListeningWindow::WaitForMessage(UINT id, DWORD timeoutMs, size_t count) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return CountLocked(id) >= count; });
}

void ListeningWindow::Freeze() {
  if (!thread_.joinable()) return;
  PostMessageW(hwnd_, kFreezeMessage, 0, 0);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return frozen_; });
}

void ListeningWindow::Destroy() {
  if (!thread_.joinable()) return;
  SetEvent(thaw_.get());
  // DestroyWindow belongs to the window's own thread; WM_CLOSE gets it there.
  PostMessageW(hwnd_, WM_CLOSE, 0, 0);
  thread_.join();
}

}  // namespace harness
