#include "payload.h"

#include <cstring>
#include <sstream>
#include <utility>
#include <vector>

#include "filebytes.h"
#include "toolrunner.h"

namespace quillpack {

Bytes BuildPayload(const std::string& folder, const std::string& switches, const std::string& tempFolder) {
  const std::string archive = tempFolder + "/payload.7z";
  std::vector<std::string> argv = {"7zz", "a", "-t7z", "-bso0", "-bsp0"};
  std::istringstream words(switches);
  for (std::string w; words >> w;) argv.push_back(w);
  // "./*" is expanded by 7zz itself (no shell runs), hidden files included;
  // for an empty folder it writes the 32-byte empty archive.
  argv.push_back(archive);
  argv.push_back("./*");
  RunTool(argv, folder);

  Bytes data = ReadFileBytes(archive);
  if (data.size() < 32 || std::memcmp(data.data(), "7z\xBC\xAF\x27\x1C", 6) != 0)
    throw PackError("7zz did not produce a 7z archive for " + folder);
  std::swap(data[0], data[1]);
  return data;
}

}  // namespace quillpack
