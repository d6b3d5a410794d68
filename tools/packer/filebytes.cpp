#include "filebytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "stopsignal.h"

namespace quillpack {
namespace {

std::string Why() { return std::strerror(errno); }

}  // namespace

Bytes ReadFileBytes(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) throw PackError(path + ": " + Why());
  if (S_ISDIR(st.st_mode)) throw PackError(path + ": is a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw PackError(path + ": cannot open: " + Why());
  std::ostringstream all;
  all << in.rdbuf();
  if (in.bad()) throw PackError(path + ": read error");
  return all.str();
}

void WriteFileReplacing(const std::string& path, const Bytes& data, bool executable) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw PackError(path + ": the output folder " + folder + " does not exist");

  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) throw PackError(path + ": cannot create a temporary file beside it: " + Why());
  auto fail = [&](const std::string& what) {
    std::string why = Why();
    close(fd);
    unlink(temp.c_str());
    return PackError(path + ": " + what + ": " + why);
  };
  // Pieces of 16 MiB, so a stop during a large write is seen in time.
  for (size_t done = 0; done < data.size();) {
    if (StopSignal()) {
      errno = EINTR;
      throw fail("stopped");
    }
    const ssize_t n = write(fd, data.data() + done, std::min<size_t>(data.size() - done, size_t(16) << 20));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw fail("write failed");
    done += size_t(n);
  }
  if (fchmod(fd, executable ? 0755 : 0644) != 0) throw fail("cannot set permissions");
  if (fsync(fd) != 0) throw fail("cannot flush");
  if (StopSignal()) {
    errno = EINTR;
    throw fail("stopped");
  }
  if (close(fd) != 0) {
    std::string why = Why();
    unlink(temp.c_str());
    throw PackError(path + ": close failed: " + why);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    std::string why = Why();
    unlink(temp.c_str());
    throw PackError(path + ": cannot replace: " + why);
  }
}

}  // namespace quillpack
