#include "skinzip.h"

#include <filesystem>

#include "filebytes.h"
#include "toolrunner.h"

namespace quillpack {

Bytes BuildSkinZip(const std::string& folder, const std::string& tempFolder) {
  namespace fs = std::filesystem;
  bool hasFile = false;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) {
      hasFile = true;
      break;
    }
  if (!hasFile) throw PackError(folder + ": the skin folder holds no files");

  const std::string archive = tempFolder + "/skin.zip";
  // -X: no extra attributes, -D: no directory entries; run inside the
  // folder so names start below it.
  RunTool({"zip", "-q", "-r", "-X", "-D", archive, "."}, folder);
  return ReadFileBytes(archive);
}

}  // namespace quillpack
