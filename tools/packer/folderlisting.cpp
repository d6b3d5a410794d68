#include "folderlisting.h"

#include <algorithm>

#include "binary.h"
#include "files.h"

namespace quillpack {
namespace {

void Walk(const std::string& root, const std::string& below, std::vector<FolderEntry>& entries) {
  const std::string here = below.empty() ? root : root + "/" + below;
  for (const FolderItem& item : FolderItems(here)) {
    const std::string relative = below.empty() ? item.name : below + "/" + item.name;
    const std::string shown = root + "/" + relative;
    const PathInfo& info = item.info;
    if (info.kind == PathKind::kLink) {
      // Links are never followed: each is reported as the entry it is. A
      // dangling one would reach the archive as a file nobody can read.
      const std::string dangling = info.linkDangling ? ", which does not exist" : "";
      const std::string what = info.linkTarget.empty()
                                   ? "is a symbolic link or junction (a reparse point" + dangling + ")"
                                   : "is a symbolic link (to " + info.linkTarget + dangling + ")";
      throw PackError(shown + ": " + what + "; put the file or folder itself there, links are not packed");
    }
    if (info.kind != PathKind::kFile && info.kind != PathKind::kFolder)
      throw PackError(shown + ": is neither a file nor a folder (a pipe, socket or device); it cannot be packed");
    FolderEntry e;
    e.relative = relative;
    e.folder = info.kind == PathKind::kFolder;
    e.size = info.size;
    e.mtime = info.mtime;
    e.readOnly = info.readOnly;
    entries.push_back(e);
    if (e.folder) Walk(root, relative, entries);
  }
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  Walk(folder, std::string(), entries);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.relative < b.relative; });
  return entries;
}

}  // namespace quillpack
