#pragma once
// Runs the archivers (zip, 7zz) the packer relies on.
#include <string>
#include <vector>

namespace quillpack {

// Runs argv[0] (looked up on PATH) in folder cwd, with no shell in between.
// Throws PackError when the tool cannot be started, is killed or exits
// non-zero; the message holds the tool's own output.
void RunTool(const std::vector<std::string>& argv, const std::string& cwd);

// A fresh folder for intermediate files, removed with everything in it when
// the object goes away.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace quillpack
