#include "skinzip.h"

#include "filebytes.h"
#include "folderlisting.h"
#include "utf16.h"
#include "zipwriter.h"

namespace quillpack {
namespace {

// What the installer's skin reader takes before it calls an archive a zip
// bomb (setup/brixsetup/toolkit/skinarchive.h).
constexpr uint64_t kMaxEntryBytes = uint64_t(64) << 20;
constexpr uint64_t kMaxTotalBytes = uint64_t(256) << 20;

}  // namespace

Bytes BuildSkinZip(const std::string& folder, const TimeLimit& limit) {
  // Links are refused by the listing: their targets may lie outside the skin.
  const std::vector<FolderEntry> entries = ListFolder(folder);
  uint64_t total = 0;
  bool hasFile = false;
  for (const FolderEntry& e : entries) {
    if (e.folder) continue;
    hasFile = true;
    const std::string shown = folder + "/" + e.relative;
    std::u16string ignored;
    if (!Utf8ToUtf16(e.relative, ignored)) throw PackError(shown + ": the name is not valid UTF-8; rename it");
    if (e.size > kMaxEntryBytes)
      throw PackError(shown + ": " + std::to_string(e.size) + " bytes; the installer reads skin files of at most 64 MiB");
    total += e.size;
  }
  if (!hasFile) throw PackError(folder + ": the skin folder holds no files");
  if (total > kMaxTotalBytes)
    throw PackError(folder + ": " + std::to_string(total) +
                    " bytes of files; the installer reads skins of at most 256 MiB in all");

  ZipWriter zip;
  for (const FolderEntry& e : entries)
    if (!e.folder) zip.Add(e.relative, ReadFileBytes(folder + "/" + e.relative), limit.Clamp(e.mtime));
  return zip.Finish();
}

}  // namespace quillpack
