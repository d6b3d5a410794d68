#include "filebytes.h"

#include <algorithm>

#include "files.h"
#include "stopsignal.h"

namespace quillpack {
namespace {

// The folder part of a path ("." for a bare name).
std::string FolderOf(const std::string& path) {
#ifdef _WIN32
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return path.size() >= 2 && path[1] == ':' ? path.substr(0, 2) + "." : ".";
  // "C:\setup.exe": the root keeps its separator.
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
#else
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
#endif
  return path.substr(0, slash);
}

}  // namespace

Bytes ReadFileBytes(const std::string& path) {
  const PathInfo info = Inspect(path, true);
  if (info.kind == PathKind::kFolder) throw PackError(path + ": is a folder, not a file");
  InputFile in(path);
  Bytes all;
  char piece[1 << 16];
  for (size_t n; (n = in.Read(piece, sizeof piece)) > 0;) all.append(piece, n);
  return all;
}

void WriteFileReplacing(const std::string& path, const Bytes& data, bool executable) {
  const std::string folder = FolderOf(path);
  if (Inspect(folder, true).kind != PathKind::kFolder)
    throw PackError(path + ": the output folder " + folder + " does not exist");
  ReplacingFile out(path);
  // Pieces of 16 MiB, so a stop during a large write is seen in time.
  for (size_t done = 0; done < data.size();) {
    if (StopSignal()) throw PackError(path + ": stopped");
    const size_t n = std::min<size_t>(data.size() - done, size_t(16) << 20);
    out.Write(data.data() + done, n);
    done += n;
  }
  if (StopSignal()) throw PackError(path + ": stopped");
  out.Commit(executable);
}

}  // namespace quillpack
