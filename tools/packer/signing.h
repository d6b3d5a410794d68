#pragma once
// Authenticode signatures (SHA-256) through osslsigncode: the uninstaller
// is signed before it is packed into setup.exe, and setup.exe last of all.
#include <string>

#include "binary.h"

namespace quillpack {

struct SigningSettings {
  std::string certificate;   // PKCS#12 (.pfx) file
  std::string passwordFile;  // its password, first line
  std::string timestampUrl;  // RFC 3161 time-stamp server, or empty
  bool Enabled() const { return !certificate.empty(); }
};

// What is wrong with the signing options as given on the command line
// (missing or unreadable files, a password file without a certificate);
// empty when they can be used.
std::string SigningOptionsProblem(const SigningSettings& settings);

// Signs a copy of the stub, so a wrong password, a bad certificate or a
// missing osslsigncode stops the packer before any work. Throws PackError.
void TrySigning(const SigningSettings& settings, const Bytes& stub);

// The image with an Authenticode signature; `what` names it in errors. The
// copies osslsigncode reads and writes live in a folder of their own in
// the system's temporary folder, gone when it returns.
Bytes SignImage(const Bytes& image, const SigningSettings& settings, const std::string& what);

}  // namespace quillpack
