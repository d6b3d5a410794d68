#pragma once
// A one-shot event for tests: set once, waited for with a generous guard so a
// fault fails the test instead of hanging it.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace stattest {

constexpr std::chrono::seconds kGuard{30};

class Signal {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(m_);
    set_ = true;
    cv_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, kGuard, [this] { return set_; });
  }
  bool IsSet() {
    std::lock_guard<std::mutex> lock(m_);
    return set_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace stattest
