#include "checkreport.h"

#include <cstdio>

namespace quillpack {
namespace {

std::string Where(const std::string& file, int line) {
  return line > 0 ? file + ":" + std::to_string(line) + ": " : file + ": ";
}

}  // namespace

CheckReport::CheckReport(std::string root) : root_(std::move(root)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

void CheckReport::Problem(const std::string& file, int line, const std::string& what) {
  ++problems_;
  std::printf("%s%s\n", Where(file, line).c_str(), what.c_str());
}

void CheckReport::Note(const std::string& file, int line, const std::string& what) {
  ++notes_;
  std::printf("%snote: %s\n", Where(file, line).c_str(), what.c_str());
}

void CheckReport::Problem(const std::string& message) {
  ++problems_;
  std::printf("%s\n", Relative(message).c_str());
}

void CheckReport::Info(const std::string& file, const std::string& what) {
  std::printf("%s%s\n", Where(file, 0).c_str(), what.c_str());
}

std::string CheckReport::Relative(const std::string& message) const {
  const std::string prefix = root_ + "/";
  std::string out;
  for (size_t at = 0;;) {
    const size_t found = message.find(prefix, at);
    if (found == std::string::npos) return out + message.substr(at);
    out += message.substr(at, found - at);
    at = found + prefix.size();
  }
}

}  // namespace quillpack
