#include "progress.h"

#include <cstdio>

#include "console.h"

namespace quillpack {
namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);

}  // namespace

Progress::Progress(const std::string& what, uint64_t total)
    : what_(what), total_(total), shown_(StderrIsTerminal()), started_(std::chrono::steady_clock::now()),
      drawn_(started_) {}

Progress::~Progress() {
  if (shown_ && width_) PrintText(stderr, "\r" + std::string(width_, ' ') + "\r");
}

void Progress::Add(uint64_t bytes) {
  if (!shown_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  Update(done_ + bytes);
}

void Progress::Reach(uint64_t done) {
  if (!shown_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (done > done_) Update(done);
}

void Progress::Update(uint64_t done) {
  done_ = done;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_ >= kRedraw) Draw(now);
}

void Progress::Draw(std::chrono::steady_clock::time_point now) {
  drawn_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  char line[160];
  const int n = std::snprintf(line, sizeof line, "\rquillpack: %s: %3.0f %% (%.1f of %.1f MB, %.1f MB/s)",
                              what_.c_str(), total_ ? 100.0 * double(done_) / double(total_) : 100.0, done_ / 1e6,
                              total_ / 1e6, seconds > 0 ? done_ / 1e6 / seconds : 0.0);
  if (n <= 0) return;
  std::string text(line, size_t(n) < sizeof line ? size_t(n) : sizeof line - 1);
  const size_t width = text.size() - 1;
  if (width < width_) text += std::string(width_ - width, ' ');  // over a longer line before
  width_ = width;
  PrintText(stderr, text);
}

}  // namespace quillpack
