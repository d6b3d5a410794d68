// quillpack: builds a product's setup.exe from the installer stub and a
// product folder (see README.md for the folder's layout).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "binary.h"
#include "check/productcheck.h"
#include "chunkcompiler.h"
#include "console.h"
#include "filebytes.h"
#include "iconresource.h"
#include "manifestresource.h"
#include "payload.h"
#include "peresources.h"
#include "productfolder.h"
#include "resourcetree.h"
#include "signing.h"
#include "skinzip.h"
#include "sourcedate.h"
#include "stopsignal.h"
#include "stubcode.h"
#include "usage.h"
#include "versionresource.h"

namespace quillpack {
namespace {

// Chunk resources and the files they are compiled from.
const struct {
  const char* source;
  const char* resource;
} kChunks[] = {
    {"config.lua", "GLOBAL_VAR.LUAC"},
    {"install.lua", "INSTSCRIPT.LUAC"},
    {"uninstall.lua", "UNINSTSCRIPT.LUAC"},
};
constexpr uint16_t kSkinZipId = 249;
constexpr uint16_t kIconGroupId = 128;

struct Options {
  std::string stub, uninstallerStub, product, out;
  bool plainStub = false;
  SigningSettings signing;
  TimeLimit times;
};

void Say(std::FILE* stream, const std::string& text) { PrintText(stream, "quillpack: " + text + "\n"); }

// A command line that cannot be packed from, whatever the product holds.
struct UsageError : PackError {
  using PackError::PackError;
};

namespace fs = std::filesystem;

bool Inside(const fs::path& path, const fs::path& folder) {
  std::error_code ignored;
  const fs::path p = fs::weakly_canonical(path, ignored), f = fs::weakly_canonical(folder, ignored);
  auto pi = p.begin();
  for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi)
    if (fi->empty() && std::next(fi) == f.end()) break;  // a trailing separator
    else if (pi == p.end() || *pi != *fi) return false;
  return true;
}

void CheckCommandLine(const Options& o) {
  const std::string problem = SigningOptionsProblem(o.signing);
  if (!problem.empty()) throw UsageError(problem);
  // It would be packed into the next build of itself.
  for (const char* folder : {"payload", "skin"})
    if (Inside(o.out, fs::path(o.product) / folder))
      throw UsageError("--out " + o.out + " lies inside the product's " + folder +
                       " folder; write setup.exe somewhere else");
}

Bytes ReadStub(const std::string& path, const char* what) {
  try {
    return ReadFileBytes(path);
  } catch (const PackError& e) {
    throw PackError(std::string(what) + " " + e.what());
  }
}

std::string MachineName(uint16_t machine) {
  if (machine == 0x14C) return "32-bit x86";
  if (machine == 0x8664) return "x86-64";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%04X", machine);
  return std::string("machine ") + hex;
}

// The uninstaller from its own stub: the stub's checks name it, and it must
// run where setup.exe runs (a 64-bit uninstaller from a 32-bit installer
// would not start on 32-bit Windows).
Bytes BuildUninstallerImage(const Options& o, const Bytes& stub, const Bytes& uninstallerStub,
                            const ResourceSet& resources) {
  try {
    if (o.uninstallerStub.empty()) return AddResourceSection(stub, resources);
    const uint16_t own = StubMachine(uninstallerStub), setup = StubMachine(stub);
    if (own != setup)
      throw PackError("stub " + o.uninstallerStub + " is built for " + MachineName(own) + ", the stub " + o.stub +
                      " for " + MachineName(setup) + "; both must be for the same machine");
    return AddResourceSection(uninstallerStub, resources);
  } catch (const PackError& e) {
    throw PackError(std::string("uninstaller ") + e.what());
  }
}

int Pack(const Options& o) {
  const auto started = std::chrono::steady_clock::now();
  // Everything cheap is checked before the payload is compressed.
  const Bytes stub = ReadStub(o.stub, "stub");
  // Without its own stub the uninstaller is built from setup.exe's.
  const Bytes uninstallerStub = o.uninstallerStub.empty() ? Bytes() : ReadStub(o.uninstallerStub, "uninstaller stub");
  const ProductFolder product = LoadProductFolder(o.product);
  if (o.signing.Enabled()) TrySigning(o.signing, stub);

  // What setup.exe and the uninstaller built into it both carry.
  ResourceSet resources, uninstaller;
  auto addToBoth = [&](const ResourceKey& type, const ResourceKey& name, const Bytes& data) {
    resources.Add(type, name, kLangNeutral, data);
    uninstaller.Add(type, name, kLangNeutral, data);
  };
  for (const auto& c : kChunks) {
    const Bytes chunk = CompileChunk(product.Path(c.source));
    if (std::strcmp(c.source, "install.lua") == 0)
      resources.Add(ResourceKey::Named("LUA"), ResourceKey::Named(c.resource), kLangNeutral, chunk);
    else
      addToBoth(ResourceKey::Named("LUA"), ResourceKey::Named(c.resource), chunk);
  }
  {
    ResourceSet icons;
    AddIconResources(ReadFileBytes(product.Path("icon.ico")), product.Path("icon.ico"), kIconGroupId, icons);
    icons.ForEach(addToBoth);
  }
  addToBoth(ResourceKey::Id(kRtVersion), ResourceKey::Id(1), BuildVersionResource(product.version));
  addToBoth(ResourceKey::Id(kRtManifest), ResourceKey::Id(1), BuildManifest(product.executionLevel));
  for (const auto& setting : product.settings)
    addToBoth(ResourceKey::Named("CFG"), ResourceKey::Named(setting.first), Bytes(setting.second));
  // The marker that gives the stub the uninstaller's role.
  uninstaller.Add(ResourceKey::Named("CFG"), ResourceKey::Named("ROLE"), kLangNeutral, Bytes("uninstaller"));
  // A dry run of the PE checks, so a bad stub fails before the payload is
  // compressed.
  AddResourceSection(stub, resources);
  // setup.exe's own code, compressed (uninst.exe's is, inside UNINST.7Z).
  const CompressedStub setupStub = o.plainStub ? CompressedStub{stub, {}, 0, 0} : CompressStubCode(stub);
  if (!setupStub.leftPlain.empty()) Say(stdout, "the stub's code stays uncompressed: " + setupStub.leftPlain);

  // The uninstaller shows message boxes only: the skin is not in it.
  resources.Add(ResourceKey::Named("ZIP"), ResourceKey::Id(kSkinZipId), kLangNeutral,
                BuildSkinZip(product.Path("skin"), o.times));
  Bytes uninstallerImage = BuildUninstallerImage(o, stub, uninstallerStub, uninstaller);
  if (o.signing.Enabled()) uninstallerImage = SignImage(uninstallerImage, o.signing, "the uninstaller");
  resources.Add(ResourceKey::Named("_7Z"), ResourceKey::Named("UNINST.7Z"), kLangNeutral,
                PackUninstaller(uninstallerImage));
  PayloadReport payload;
  resources.Add(ResourceKey::Named("_7Z"), ResourceKey::Named("APP.7Z"), kLangNeutral,
                BuildPayload(product.Path("payload"), product.payload, o.times, payload));

  Bytes image = AddResourceSection(setupStub.image, resources);
  if (o.signing.Enabled()) image = SignImage(image, o.signing, o.out);
  ThrowIfStopped();
  WriteFileReplacing(o.out, image, true);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  Say(stdout, PayloadSummary(payload));
  if (setupStub.codeBytes) Say(stdout, "stub code " + SizeChange(setupStub.codeBytes, setupStub.packedBytes));
  char took[32];
  std::snprintf(took, sizeof took, "%.2f s", seconds);
  Say(stdout, "wrote " + o.out + " (" + std::to_string(image.size()) + " bytes, " + std::to_string(resources.size()) +
                  " resources) in " + took);
  return 0;
}

}  // namespace
}  // namespace quillpack

int main(int argc, char** argv) {
  using namespace quillpack;
  Options o;
  bool check = false;
  const std::vector<std::string> args = Arguments(argc, argv);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintText(stdout, kUsage);
      return 0;
    }
    if (arg == "--check") {
      check = true;
      continue;
    }
    if (arg == "--plain-stub") {
      o.plainStub = true;
      continue;
    }
    std::string* target = arg == "--stub"                 ? &o.stub
                          : arg == "--uninstaller-stub"   ? &o.uninstallerStub
                          : arg == "--product"            ? &o.product
                          : arg == "--out"                ? &o.out
                          : arg == "--sign"               ? &o.signing.certificate
                          : arg == "--sign-password-file" ? &o.signing.passwordFile
                          : arg == "--timestamp-url"      ? &o.signing.timestampUrl
                                                          : nullptr;
    if (!target) {
      PrintText(stderr, "quillpack: unknown argument \"" + arg + "\"\n" + kUsage);
      return 2;
    }
    if (i + 1 >= args.size() || args[i + 1].empty()) {
      PrintText(stderr, "quillpack: " + arg + " needs a value\n" + kUsage);
      return 2;
    }
    *target = args[++i];
  }
  if (check) {
    // Refused rather than ignored: a check never writes the --out it names.
    if (!o.stub.empty() || !o.uninstallerStub.empty() || !o.out.empty() || o.plainStub || o.product.empty() ||
        o.signing.Enabled() ||
        !o.signing.passwordFile.empty() || !o.signing.timestampUrl.empty()) {
      PrintText(stderr, std::string("quillpack: --check takes --product only\n") + kUsage);
      return 2;
    }
    try {
      return CheckProductFolder(o.product);
    } catch (const std::exception& e) {
      Say(stderr, std::string("error: ") + e.what());
      return 1;
    }
  }
  if (o.stub.empty() || o.product.empty() || o.out.empty()) {
    PrintText(stderr, std::string("quillpack: --stub, --product and --out are all required\n") + kUsage);
    return 2;
  }
  try {
    o.times = ParseSourceDateEpoch(std::getenv("SOURCE_DATE_EPOCH"));
  } catch (const PackError& e) {
    Say(stderr, e.what());
    return 2;
  }
  InstallStopHandlers();
  try {
    CheckCommandLine(o);
    return Pack(o);
  } catch (const UsageError& e) {
    Say(stderr, e.what());
    return 2;
  } catch (const std::exception& e) {
    // Stopped: whatever failed after the stop failed because of it.
    if (StopSignal()) {
      try {
        ThrowIfStopped();
      } catch (const PackError& stopped) {
        Say(stderr, std::string(stopped.what()) + "; " + o.out + " was not written");
      }
      ExitBySignal(StopSignal());
    }
    Say(stderr, std::string("error: ") + e.what());
  }
  Say(stderr, o.out + " was not written");
  return 1;
}
