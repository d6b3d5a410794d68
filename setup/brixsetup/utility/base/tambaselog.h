#pragma once
// The daily log file: only the scripts' own texts, the statistics start-up
// result and a failed counter request go here; everything else is traced.
#include <windows.h>

#include <memory>
#include <string>

#include <spdlog/spdlog.h>

namespace brix {

class CTamBaseLog {
 public:
  static CTamBaseLog& Instance();
  virtual ~CTamBaseLog() = default;

  // path: 8-bit text in the thread's ANSI code page; no result, a failure
  // leaves the process without a log.
  void InitLogger(const std::string& path);
  const std::shared_ptr<spdlog::logger>& Logger() const { return logger_; }

 private:
  CTamBaseLog() = default;
  std::shared_ptr<spdlog::logger> logger_;
};

// Deletes the log files of name `logName` in `folder` except today's and
// yesterday's (dates taken from `today`), and anything else named
// `logName` + "_...".
void RemoveOldLogs(const std::string& folder, const std::string& logName, const SYSTEMTIME& today);
void RemoveOldLogs(const std::string& folder, const std::string& logName);

// "%s_%d-%02d-%02d.log" for a log name and a date.
std::string OldLogName(const std::string& logName, int year, int month, int day);
// The calendar day before the given one.
SYSTEMTIME PreviousDay(const SYSTEMTIME& day);

const char* SourceFileName(const char* path);

}  // namespace brix

// Log entry with its source location: "[file function: line] message".
#define BRIX_LOG(level, fmtText, ...)                                                        \
  do {                                                                                        \
    if (auto& brixLogger_ = ::brix::CTamBaseLog::Instance().Logger())                        \
      brixLogger_->level("[{} {}: {}] " fmtText, ::brix::SourceFileName(__FILE__), __func__, \
                         __LINE__, ##__VA_ARGS__);                                           \
  } while (0)
#define BRIX_LOG_INFO(fmtText, ...) BRIX_LOG(info, fmtText, ##__VA_ARGS__)
#define BRIX_LOG_ERROR(fmtText, ...) BRIX_LOG(error, fmtText, ##__VA_ARGS__)
