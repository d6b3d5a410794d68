#pragma once
// Diagnostics of the toolkit's readers (archive, XML, layout, images). They
// build natively too, so they report through a replaceable sink instead of
// calling the Windows trace directly; the Windows build's default sink writes
// one trace line per report.
#include <functional>
#include <string>
#include <vector>

namespace brixui {

// One report: where (a skin file and a 1-based line and column, 0 when not
// known) and what. `file` may be empty for the archive as a whole.
struct DiagReport {
  std::string file;
  int line = 0;
  int column = 0;
  std::string what;
};

using DiagSink = std::function<void(const DiagReport&)>;

// The text of a report as traced: "ui: file(line,col): what".
std::string FormatDiag(const DiagReport& report);

void Diag(const std::string& file, int line, int column, const std::string& what);
inline void Diag(const std::string& file, const std::string& what) { Diag(file, 0, 0, what); }

// Replaces the sink for the calling thread's process; returns the old one.
// An empty sink restores the default.
DiagSink SetDiagSink(DiagSink sink);

// Counts reports while alive and keeps them (tests and quillskin use it);
// the reports still reach the previous sink.
class DiagCollector {
 public:
  DiagCollector();
  ~DiagCollector();
  DiagCollector(const DiagCollector&) = delete;
  DiagCollector& operator=(const DiagCollector&) = delete;
  const std::vector<DiagReport>& Reports() const { return reports_; }
  // True when some report's formatted text contains `part`.
  bool Saw(const std::string& part) const;
  std::string All() const;

 private:
  DiagSink previous_;
  std::vector<DiagReport> reports_;
};

}  // namespace brixui
