#include "skinzip.h"

#include "filebytes.h"
#include "folderlisting.h"
#include "toolrunner.h"

namespace quillpack {

Bytes BuildSkinZip(const std::string& folder, const std::string& tempFolder) {
  // zip would store a link's target, which may lie outside the skin.
  bool hasFile = false;
  for (const FolderEntry& e : ListFolder(folder)) hasFile = hasFile || !e.folder;
  if (!hasFile) throw PackError(folder + ": the skin folder holds no files");

  const std::string archive = tempFolder + "/skin.zip";
  // -X: no extra attributes, -D: no directory entries; run inside the
  // folder so names start below it.
  RunTool({"zip", "-q", "-r", "-X", "-D", archive, "."}, folder);
  return ReadFileBytes(archive);
}

}  // namespace quillpack
