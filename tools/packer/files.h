#pragma once
// The file system as the packer uses it, by UTF-8 path: what a path names,
// a folder's entries, files read in pieces, and an output file written
// beside its final name and put in place at the end. One implementation per
// system: files_posix.cpp, files_windows.cpp.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillpack {

enum class PathKind { kMissing, kFile, kFolder, kLink, kOther };

struct PathInfo {
  PathKind kind = PathKind::kMissing;
  uint64_t size = 0;   // files
  // Last write, in 100 ns ticks since 1601-01-01 UTC: how Windows and 7z
  // keep it, so both systems read the same number for the same file.
  uint64_t mtime = 0;
  // Nobody may write it: on POSIX no write permission bit at all (as Wine
  // maps it to FILE_ATTRIBUTE_READONLY), on Windows that attribute. Never
  // depends on who runs the packer.
  bool readOnly = false;
  std::string linkTarget;     // kLink, where the system tells it
  bool linkDangling = false;  // kLink whose target does not exist
};

// What `path` names. With followLinks a link is looked through (kMissing
// when its target is missing); without, a link is a kLink. Never throws.
PathInfo Inspect(const std::string& path, bool followLinks);

struct FolderItem {
  std::string name;  // UTF-8
  PathInfo info;     // as Inspect(..., false) gives it
};

// The entries of one folder (not "." and ".."), in no particular order.
// Throws PackError naming the folder when it cannot be read, or an entry
// whose name is not Unicode.
std::vector<FolderItem> FolderItems(const std::string& folder);

// A file read front to back. Throws PackError naming the file.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // Up to `size` bytes; fewer only at the end of the file.
  size_t Read(void* buffer, size_t size);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  intptr_t handle_;
};

// A new file beside `path`, under a name of its own, that replaces `path`
// on Commit. Until then `path` keeps its old content (or stays absent);
// dropped uncommitted, the new file goes. Throws PackError naming `path`.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::string& path);
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  void Write(const void* data, size_t size);
  // Flushes to disk, closes and puts the file in place; `executable` gives
  // it execute permission where there is such a thing.
  void Commit(bool executable);

 private:
  std::string path_, temp_;
  intptr_t handle_;
};

}  // namespace quillpack
