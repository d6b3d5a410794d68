#include "uidiag.h"

#include <mutex>

#ifdef _WIN32
#include "strconv.h"
#include "trace.h"
#else
#include <cstdio>
#endif

namespace brixui {
namespace {

std::mutex g_mutex;
DiagSink g_sink;

void DefaultSink(const DiagReport& report) {
  const std::string text = FormatDiag(report);
#ifdef _WIN32
  brix::Trace(L"%ls\r\n", brix::Utf8ToWide(text).c_str());
#else
  std::fprintf(stderr, "%s\n", text.c_str());
#endif
}

}  // namespace

std::string FormatDiag(const DiagReport& r) {
  std::string s = "ui: ";
  s += r.file.empty() ? std::string("skin") : r.file;
  if (r.line > 0) {
    s += "(" + std::to_string(r.line);
    if (r.column > 0) s += "," + std::to_string(r.column);
    s += ")";
  }
  s += ": ";
  s += r.what;
  return s;
}

void Diag(const std::string& file, int line, int column, const std::string& what) {
  DiagReport r{file, line, column, what};
  DiagSink sink;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    sink = g_sink;
  }
  if (sink) sink(r); else DefaultSink(r);
}

DiagSink SetDiagSink(DiagSink sink) {
  std::lock_guard<std::mutex> lock(g_mutex);
  DiagSink old = std::move(g_sink);
  g_sink = std::move(sink);
  return old;
}

DiagCollector::DiagCollector() {
  previous_ = SetDiagSink([this](const DiagReport& r) {
    reports_.push_back(r);
    if (previous_) previous_(r); else DefaultSink(r);
  });
}

DiagCollector::~DiagCollector() { SetDiagSink(std::move(previous_)); }

bool DiagCollector::Saw(const std::string& part) const {
  for (const auto& r : reports_)
    if (FormatDiag(r).find(part) != std::string::npos) return true;
  return false;
}

std::string DiagCollector::All() const {
  std::string s;
  for (const auto& r : reports_) s += FormatDiag(r) + "\n";
  return s;
}

}  // namespace brixui
