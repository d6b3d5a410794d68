#include "folderlisting.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "binary.h"

namespace quillpack {

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  namespace fs = std::filesystem;
  std::vector<FolderEntry> entries;
  std::error_code ec;
  // Links are never followed: each is reported as the entry it is.
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path& path = it->path();
    const std::string shown = path.string();
    const fs::file_status st = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_symlink(st)) {
      std::error_code ignored;
      const fs::path target = fs::read_symlink(path, ignored);
      // A dangling one would reach the archiver as a file it cannot read.
      const bool dangling = !fs::exists(path, ignored);
      throw PackError(shown + ": is a symbolic link (to " + target.string() +
                      (dangling ? ", which does not exist" : "") +
                      "); put the file or folder itself there, links are not packed");
    }
    FolderEntry e;
    e.relative = path.lexically_relative(folder).generic_string();
    if (fs::is_directory(st)) {
      e.folder = true;
    } else if (fs::is_regular_file(st)) {
      e.size = it->file_size(ec);
      if (ec) break;
    } else {
      throw PackError(shown + ": is neither a file nor a folder (a pipe, socket or device); it cannot be packed");
    }
    entries.push_back(std::move(e));
  }
  if (ec) throw PackError(folder + ": cannot list the folder: " + ec.message());
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.relative < b.relative; });
  return entries;
}

}  // namespace quillpack
