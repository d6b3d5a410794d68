#pragma once
// A step's progress on the terminal: percent of its bytes done and the rate,
// redrawn in place on stderr at most four times a second, and only when
// stderr is a terminal (a console on Windows); piped or redirected, nothing.
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace quillpack {

class Progress {
 public:
  // `what` names the step ("packing the payload"), `total` its bytes.
  Progress(const std::string& what, uint64_t total);
  // Clears the line, so what is printed next starts on a clean one.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `bytes` more are done; from any thread.
  void Add(uint64_t bytes);
  // `done` bytes are done in all (never goes back); from any thread.
  void Reach(uint64_t done);

 private:
  void Update(uint64_t done);  // with the lock held
  void Draw(std::chrono::steady_clock::time_point now);

  const std::string what_;
  const uint64_t total_;
  const bool shown_;
  const std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point drawn_;
  uint64_t done_ = 0;
  size_t width_ = 0;  // of the line drawn last
  std::mutex mutex_;
};

}  // namespace quillpack
