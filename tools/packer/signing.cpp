#include "signing.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "filebytes.h"
#include "toolrunner.h"

namespace quillpack {
namespace {

bool Readable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return in.good() && in.peek() != std::ifstream::traits_type::eof();
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

Bytes SignImage(const Bytes& image, const SigningSettings& s, const std::string& tempFolder, const std::string& what) {
  const std::string in = tempFolder + "/unsigned.exe", out = tempFolder + "/signed.exe";
  WriteFileReplacing(in, image, false);
  // The tool runs in the temporary folder.
  const auto full = [](const std::string& p) { return std::filesystem::absolute(p).string(); };
  std::vector<std::string> argv = {"osslsigncode", "sign", "-pkcs12", full(s.certificate), "-readpass",
                                   full(s.passwordFile), "-h", "sha256"};
  if (!s.timestampUrl.empty()) argv.insert(argv.end(), {"-ts", s.timestampUrl});
  argv.insert(argv.end(), {"-in", in, "-out", out});
  try {
    RunTool(argv, tempFolder);
  } catch (const PackError& e) {
    throw PackError("cannot sign " + what + " with " + s.certificate + ": " + e.what());
  }
  Bytes signedImage = ReadFileBytes(out);
  std::remove(in.c_str());
  std::remove(out.c_str());
  return signedImage;
}

void TrySigning(const SigningSettings& s, const Bytes& stub, const std::string& tempFolder) {
  // Without the time stamp: an unreachable server is reported when the
  // real signatures are made, still before the output is written.
  SigningSettings trial = s;
  trial.timestampUrl.clear();
  SignImage(stub, trial, tempFolder, "a trial copy of the stub");
}

}  // namespace quillpack
