#include "tambaselog.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>

#include <spdlog/sinks/daily_file_sink.h>

#include "handles.h"

namespace brix {

CTamBaseLog& CTamBaseLog::Instance() {
  static CTamBaseLog instance;
  return instance;
}

const char* SourceFileName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return name;
}

std::string OldLogName(const std::string& logName, int year, int month, int day) {
  char buf[MAX_PATH] = {};
  snprintf(buf, sizeof buf, "%s_%d-%02d-%02d.log", logName.c_str(), year, month, day);
  return buf;
}

SYSTEMTIME PreviousDay(const SYSTEMTIME& day) {
  // Through FILETIME so month and year boundaries come out right.
  SYSTEMTIME noon = day;
  noon.wHour = 12;
  noon.wMinute = noon.wSecond = noon.wMilliseconds = 0;
  FILETIME ft;
  SystemTimeToFileTime(&noon, &ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  t.QuadPart -= 24ULL * 60 * 60 * 10000000ULL;
  ft.dwLowDateTime = t.LowPart;
  ft.dwHighDateTime = t.HighPart;
  SYSTEMTIME prev;
  FileTimeToSystemTime(&ft, &prev);
  return prev;
}

void RemoveOldLogs(const std::string& folder, const std::string& logName, const SYSTEMTIME& today) {
  const std::string keepToday = OldLogName(logName, today.wYear, today.wMonth, today.wDay);
  const SYSTEMTIME y = PreviousDay(today);
  const std::string keepYesterday = OldLogName(logName, y.wYear, y.wMonth, y.wDay);

  WIN32_FIND_DATAA fd;
  const UniqueFindHandle find(FindFirstFileA((folder + "\\*.*").c_str(), &fd));
  if (!find) {
    // GBK text; a windowed process has no console, so this goes nowhere.
    fputs("\xCB\xD1\xCB\xF7\xCA\xA7\xB0\xDC!", stdout);
    return;
  }
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    if (name == keepToday || name == keepYesterday) continue;
    if (name.substr(0, name.find('_')) == logName) DeleteFileA((folder + "\\" + name).c_str());
  } while (FindNextFileA(find.get(), &fd));
}

void RemoveOldLogs(const std::string& folder, const std::string& logName) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  RemoveOldLogs(folder, logName, now);
}

void CTamBaseLog::InitLogger(const std::string& path) {
  char buf[MAX_PATH] = {};
  if (path.size() >= sizeof buf) {
    OutputDebugStringA("log path too long");
    return;
  }
  memcpy(buf, path.c_str(), path.size() + 1);
  PathRemoveExtensionA(buf);
  const std::string logName = PathFindFileNameA(buf);
  PathRemoveFileSpecA(buf);
  RemoveOldLogs(buf, logName);

  std::shared_ptr<spdlog::sinks::daily_file_sink_mt> sink;
  try {
    sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(path, 23, 59, false);
  } catch (const spdlog::spdlog_ex& e) {
    OutputDebugStringA(e.what());
    return;
  } catch (...) {
    OutputDebugStringA("Unknown exception in InitLogger");
    return;
  }
  auto logger = std::make_shared<spdlog::logger>("both", sink);
  spdlog::drop("both");
  spdlog::register_logger(logger);
  logger_ = logger;
  logger_->set_level(spdlog::level::info);
  logger_->set_pattern("[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] [%t] %v", spdlog::pattern_time_type::local);
  logger_->flush_on(spdlog::level::info);
}

}  // namespace brix
