#include "payload.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

#include "filebytes.h"
#include "folderlisting.h"
#include "payloadswitches.h"
#include "toolrunner.h"

namespace quillpack {
namespace {

// Decimal units, as file managers and the benchmark print them.
std::string Size(uint64_t bytes) {
  char text[32];
  if (bytes >= 1000 * 1000)
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
  else if (bytes >= 1000)
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1e3);
  else
    std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
  return text;
}

bool Streams(const std::string& chain) {
  for (const char* const* c = kStreamingChains; *c; ++c)
    if (chain == *c) return true;
  return false;
}

}  // namespace

Bytes BuildPayload(const std::string& folder, const std::vector<std::string>& switches, const std::string& tempFolder,
                   PayloadReport& report) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<FolderEntry> entries = ListFolder(folder);
  CheckPayloadNames(entries, folder);

  const std::string archive = tempFolder + "/payload.7z";
  std::vector<std::string> argv = {"7zz", "a", "-t7z", "-bso0", "-bsp0"};
  argv.insert(argv.end(), switches.begin(), switches.end());
  // "./*" is expanded by 7zz itself (no shell runs), hidden files included;
  // for an empty folder it writes the 32-byte empty archive.
  argv.push_back(archive);
  argv.push_back("./*");
  RunTool(argv, folder);

  Bytes data = ReadFileBytes(archive);
  if (data.size() < 32 || std::memcmp(data.data(), "7z\xBC\xAF\x27\x1C", 6) != 0)
    throw PackError("7zz did not produce a 7z archive for " + folder);
  // Whatever the switches did, the installer must unpack exactly the folder.
  report.chains = CheckPayloadArchive(data, entries, folder);
  std::swap(data[0], data[1]);

  report.filesBytes = 0;
  for (const FolderEntry& e : entries) report.filesBytes += e.size;
  report.archiveBytes = data.size();
  report.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return data;
}

std::string PayloadSummary(const PayloadReport& r) {
  char ratio[32] = "empty";
  if (r.filesBytes) std::snprintf(ratio, sizeof ratio, "%.1f %%", 100.0 * r.archiveBytes / r.filesBytes);
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f s", r.seconds);
  return "payload " + Size(r.filesBytes) + " -> " + Size(r.archiveBytes) + " (" + ratio + ") in " + seconds;
}

std::string PayloadChainNote(const PayloadReport& r) {
  uint32_t blocks = 0, slow = 0;
  std::string which;
  for (const auto& chain : r.chains) {
    blocks += chain.second;
    if (Streams(chain.first)) continue;
    slow += chain.second;
    which += (which.empty() ? "" : ", ") + chain.first;
  }
  if (!slow) return std::string();
  std::string streaming;
  for (const char* const* c = kStreamingChains; *c; ++c) {
    if (!streaming.empty()) streaming += c[1] ? ", " : " and ";
    streaming += *c;
  }
  return "payload blocks the installer decodes whole (slower, each held in memory): " + std::to_string(slow) +
         " of " + std::to_string(blocks) + " (" + which + "); it streams " + streaming +
         ", which the default switches give (at -mx=8 and -mx=9 7zz picks BCJ2 for programs unless -mf=BCJ is given)";
}

}  // namespace quillpack
