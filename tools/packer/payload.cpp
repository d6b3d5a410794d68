#include "payload.h"

#include <cstring>
#include <utility>

#include "filebytes.h"
#include "folderlisting.h"
#include "payloadcheck.h"
#include "toolrunner.h"

namespace quillpack {

Bytes BuildPayload(const std::string& folder, const std::vector<std::string>& switches, const std::string& tempFolder) {
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
  CheckPayloadArchive(data, entries, folder);
  std::swap(data[0], data[1]);
  return data;
}

}  // namespace quillpack
