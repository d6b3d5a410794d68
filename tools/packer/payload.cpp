#include "payload.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "folderlisting.h"
#include "payloadcheck.h"
#include "progress.h"

namespace quillpack {
namespace {

std::string DecimalSize(uint64_t bytes) {
  char text[32];
  if (bytes >= 1000 * 1000)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else if (bytes >= 1000)
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
  else
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  return text;
}

}  // namespace

Bytes BuildPayload(const std::string& folder, const SevenZipSettings& settings, const TimeLimit& limit,
                   PayloadReport& report) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<FolderEntry> entries = ListFolder(folder);
  CheckPayloadNames(entries, folder);

  SevenZipWriter writer(settings);
  report.filesBytes = 0;
  for (const FolderEntry& e : entries) {
    if (e.folder) {
      writer.AddFolder(e.relative, limit.Clamp(e.mtime));
    } else {
      writer.AddFile(e.relative, folder + "/" + e.relative, e.size, limit.Clamp(e.mtime), e.readOnly);
      report.filesBytes += e.size;
    }
  }
  Bytes data;
  {
    Progress progress("packing the payload", report.filesBytes);
    data = writer.Finish(&progress);
  }
  {
    // Whatever the settings did, the installer must unpack exactly the folder.
    Progress progress("checking the payload", report.filesBytes);
    CheckPayloadArchive(data, entries, folder, &progress);
  }
  std::swap(data[0], data[1]);
  report.archiveBytes = data.size();
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return data;
}

std::string SizeChange(uint64_t from, uint64_t to) {
  char ratio[32] = "empty";
  if (from) std::snprintf(ratio, sizeof ratio, "%.1f %%", 100.0 * to / from);
  return DecimalSize(from) + " -> " + DecimalSize(to) + " (" + ratio + ")";
}

std::string PayloadSummary(const PayloadReport& r) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", r.seconds);
  return "payload " + SizeChange(r.filesBytes, r.archiveBytes) + " in " + seconds;
}

Bytes PackUninstaller(const Bytes& uninstaller) {
  SevenZipSettings s;
  s.coder.lzma2 = true;
  s.coder.dictionary = 64u << 20;  // shrinks to the program's size
  s.coder.fb = 273;
  s.filter = SevenZipSettings::Filter::kAll;
  // No time: nothing in setup.exe may depend on when it was packed, and the
  // installed file then carries the time it was written.
  SevenZipWriter writer(s);
  writer.AddBytes("uninst.exe", uninstaller, std::nullopt);
  Bytes data = writer.Finish(nullptr);
  FolderEntry expected;
  expected.relative = "uninst.exe";
  expected.size = uninstaller.size();
  CheckPayloadArchive(data, {expected}, "uninst.exe", nullptr);
  std::swap(data[0], data[1]);
  return data;
}

}  // namespace quillpack
