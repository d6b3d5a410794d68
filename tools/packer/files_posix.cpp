#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "binary.h"
#include "files.h"

namespace quillpack {
namespace {

std::string Why(int error) { return std::strerror(error); }

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDelta = 11644473600;

uint64_t Ticks(const struct timespec& t) {
  if (t.tv_sec < -kEpochDelta) return 0;
  return uint64_t(t.tv_sec + kEpochDelta) * 10000000u + uint64_t(t.tv_nsec) / 100u;
}

PathInfo FromStat(const struct stat& st) {
  PathInfo info;
  info.kind = S_ISREG(st.st_mode)   ? PathKind::kFile
              : S_ISDIR(st.st_mode) ? PathKind::kFolder
              : S_ISLNK(st.st_mode) ? PathKind::kLink
                                    : PathKind::kOther;
  if (info.kind == PathKind::kFile) info.size = uint64_t(st.st_size);
  info.mtime = Ticks(st.st_mtim);
  info.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  return info;
}

}  // namespace

PathInfo Inspect(const std::string& path, bool followLinks) {
  struct stat st;
  if ((followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) != 0) return PathInfo();
  PathInfo info = FromStat(st);
  if (info.kind == PathKind::kLink) {
    std::string target(4096, '\0');
    const ssize_t n = readlink(path.c_str(), &target[0], target.size());
    target.resize(n > 0 ? size_t(n) : 0);
    info.linkTarget = target;
    info.linkDangling = stat(path.c_str(), &st) != 0 && errno == ENOENT;
  }
  return info;
}

std::vector<FolderItem> FolderItems(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) throw PackError(folder + ": cannot list the folder: " + Why(errno));
  std::vector<FolderItem> items;
  for (;;) {
    errno = 0;
    const dirent* e = readdir(dir);
    if (!e) break;
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    items.push_back({name, Inspect(folder + "/" + name, false)});
  }
  const int error = errno;
  closedir(dir);
  if (error) throw PackError(folder + ": cannot list the folder: " + Why(error));
  return items;
}

InputFile::InputFile(const std::string& path) : path_(path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PackError(path + ": " + Why(errno));
  handle_ = fd;
}

InputFile::~InputFile() { close(int(handle_)); }

size_t InputFile::Read(void* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = read(int(handle_), static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw PackError(path_ + ": read error: " + Why(errno));
    if (n == 0) break;
    done += size_t(n);
  }
  return done;
}

ReplacingFile::ReplacingFile(const std::string& path) : path_(path), temp_(path + ".XXXXXX") {
  const int fd = mkstemp(&temp_[0]);
  if (fd < 0) throw PackError(path + ": cannot create a temporary file beside it: " + Why(errno));
  handle_ = fd;
}

ReplacingFile::~ReplacingFile() {
  if (handle_ < 0) return;
  close(int(handle_));
  unlink(temp_.c_str());
}

void ReplacingFile::Write(const void* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(int(handle_), static_cast<const char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw PackError(path_ + ": write failed: " + Why(n < 0 ? errno : ENOSPC));
    done += size_t(n);
  }
}

void ReplacingFile::Commit(bool executable) {
  const int fd = int(handle_);
  if (fchmod(fd, executable ? 0755 : 0644) != 0) throw PackError(path_ + ": cannot set permissions: " + Why(errno));
  if (fsync(fd) != 0) throw PackError(path_ + ": cannot flush: " + Why(errno));
  handle_ = -1;
  if (close(fd) != 0) {
    const std::string why = Why(errno);
    unlink(temp_.c_str());
    throw PackError(path_ + ": close failed: " + why);
  }
  if (rename(temp_.c_str(), path_.c_str()) != 0) {
    const std::string why = Why(errno);
    unlink(temp_.c_str());
    throw PackError(path_ + ": cannot replace: " + why);
  }
}

}  // namespace quillpack
