#include "signing.h"

#include <filesystem>
#include <random>

#include "filebytes.h"
#include "files.h"
#include "toolrunner.h"

namespace quillpack {
namespace {

namespace fs = std::filesystem;

// A fresh folder in the temporary folder, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::random_device random;
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const fs::path p = base / ("quillpack-sign." + std::to_string(random()));
      std::error_code e;
      if (fs::create_directory(p, e)) path_ = p;
    }
    if (path_.empty()) throw PackError("cannot create a folder in " + base.string() + " for signing");
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::string Path(const char* name) const { return (path_ / name).string(); }
  std::string Folder() const { return path_.string(); }

 private:
  fs::path path_;
};

bool Readable(const std::string& path) {
  const PathInfo info = Inspect(path, true);
  return info.kind == PathKind::kFile && info.size > 0;
}

}  // namespace

std::string SigningOptionsProblem(const SigningSettings& s) {
  if (!s.Enabled()) {
    if (!s.passwordFile.empty() || !s.timestampUrl.empty())
      return "--sign-password-file and --timestamp-url need --sign <certificate.pfx>";
    return std::string();
  }
  if (s.passwordFile.empty()) return "--sign needs --sign-password-file <file> (the certificate's password)";
  if (!Readable(s.certificate)) return s.certificate + ": certificate not found, unreadable or empty";
  if (!Readable(s.passwordFile)) return s.passwordFile + ": password file not found, unreadable or empty";
  const std::string& url = s.timestampUrl;
  if (!url.empty() && url.compare(0, 7, "http://") != 0 && url.compare(0, 8, "https://") != 0)
    return "--timestamp-url: \"" + url + "\" is not an http:// or https:// address";
  return std::string();
}

Bytes SignImage(const Bytes& image, const SigningSettings& s, const std::string& what) {
  ScratchFolder scratch;
  const std::string in = scratch.Path("unsigned.exe"), out = scratch.Path("signed.exe");
  WriteFileReplacing(in, image, false);
  // The tool runs in the temporary folder.
  const auto full = [](const std::string& p) { return fs::absolute(p).string(); };
  std::vector<std::string> argv = {"osslsigncode", "sign", "-pkcs12", full(s.certificate), "-readpass",
                                   full(s.passwordFile), "-h", "sha256"};
  if (!s.timestampUrl.empty()) argv.insert(argv.end(), {"-ts", s.timestampUrl});
  argv.insert(argv.end(), {"-in", in, "-out", out});
  try {
    RunTool(argv, scratch.Folder());
  } catch (const PackError& e) {
    throw PackError("cannot sign " + what + " with " + s.certificate + ": " + e.what());
  }
  return ReadFileBytes(out);
}

void TrySigning(const SigningSettings& s, const Bytes& stub) {
  // Without the time stamp: an unreachable server is reported when the
  // real signatures are made, still before the output is written.
  SigningSettings trial = s;
  trial.timestampUrl.clear();
  SignImage(stub, trial, "a trial copy of the stub");
}

}  // namespace quillpack
