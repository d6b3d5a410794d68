// quillpack: builds a product's setup.exe from the installer stub and a
// product folder (see README.md for the folder's layout).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>

#include "binary.h"
#include "check/productcheck.h"
#include "chunkcompiler.h"
#include "filebytes.h"
#include "iconresource.h"
#include "manifestresource.h"
#include "payload.h"
#include "peresources.h"
#include "productfolder.h"
#include "resourcetree.h"
#include "signing.h"
#include "skinzip.h"
#include "stopsignal.h"
#include "toolrunner.h"
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
  std::string stub, product, out;
  SigningSettings signing;
};

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

int Pack(const Options& o) {
  const auto started = std::chrono::steady_clock::now();
  // Everything cheap is checked before the archivers run.
  Bytes stub;
  try {
    stub = ReadFileBytes(o.stub);
  } catch (const PackError& e) {
    throw PackError(std::string("stub ") + e.what());
  }
  const ProductFolder product = LoadProductFolder(o.product);
  TempFolder temp;
  if (o.signing.Enabled()) TrySigning(o.signing, stub, temp.path());

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
  // A dry run of the PE checks, so a bad stub fails before the archivers run.
  AddResourceSection(stub, resources);

  addToBoth(ResourceKey::Named("ZIP"), ResourceKey::Id(kSkinZipId), BuildSkinZip(product.Path("skin"), temp.path()));
  PayloadReport payload;
  resources.Add(ResourceKey::Named("_7Z"), ResourceKey::Named("APP.7Z"), kLangNeutral,
                BuildPayload(product.Path("payload"), product.payloadSwitches, temp.path(), payload));
  Bytes uninstallerImage = AddResourceSection(stub, uninstaller);
  if (o.signing.Enabled()) uninstallerImage = SignImage(uninstallerImage, o.signing, temp.path(), "the uninstaller");
  resources.Add(ResourceKey::Named("BIN"), ResourceKey::Named("UNINST.EXE"), kLangNeutral, uninstallerImage);

  Bytes image = AddResourceSection(stub, resources);
  if (o.signing.Enabled()) image = SignImage(image, o.signing, temp.path(), o.out);
  ThrowIfStopped();
  WriteFileReplacing(o.out, image, true);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const std::string note = PayloadChainNote(payload);
  if (!note.empty()) std::fprintf(stderr, "quillpack: note: %s\n", note.c_str());
  std::printf("quillpack: %s\n", PayloadSummary(payload).c_str());
  std::printf("quillpack: wrote %s (%zu bytes, %zu resources) in %.2f s\n", o.out.c_str(), image.size(),
              resources.size(), seconds);
  return 0;
}

}  // namespace
}  // namespace quillpack

int main(int argc, char** argv) {
  using namespace quillpack;
  Options o;
  bool check = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--check") {
      check = true;
      continue;
    }
    std::string* target = arg == "--stub"                 ? &o.stub
                          : arg == "--product"            ? &o.product
                          : arg == "--out"                ? &o.out
                          : arg == "--sign"               ? &o.signing.certificate
                          : arg == "--sign-password-file" ? &o.signing.passwordFile
                          : arg == "--timestamp-url"      ? &o.signing.timestampUrl
                                                          : nullptr;
    if (!target) {
      std::fprintf(stderr, "quillpack: unknown argument \"%s\"\n%s", arg.c_str(), kUsage);
      return 2;
    }
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      std::fprintf(stderr, "quillpack: %s needs a value\n%s", arg.c_str(), kUsage);
      return 2;
    }
    *target = argv[++i];
  }
  if (check) {
    // Refused rather than ignored: a check never writes the --out it names.
    if (!o.stub.empty() || !o.out.empty() || o.product.empty() || o.signing.Enabled() ||
        !o.signing.passwordFile.empty() || !o.signing.timestampUrl.empty()) {
      std::fprintf(stderr, "quillpack: --check takes --product only\n%s", kUsage);
      return 2;
    }
    try {
      return CheckProductFolder(o.product);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "quillpack: error: %s\n", e.what());
      return 1;
    }
  }
  if (o.stub.empty() || o.product.empty() || o.out.empty()) {
    std::fprintf(stderr, "quillpack: --stub, --product and --out are all required\n%s", kUsage);
    return 2;
  }
  InstallStopHandlers();
  try {
    CheckCommandLine(o);
    return Pack(o);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "quillpack: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    // Stopped: whatever failed after the signal failed because of it.
    if (StopSignal()) {
      try {
        ThrowIfStopped();
      } catch (const PackError& stopped) {
        std::fprintf(stderr, "quillpack: %s; %s was not written\n", stopped.what(), o.out.c_str());
      }
      ExitBySignal(StopSignal());
    }
    std::fprintf(stderr, "quillpack: error: %s\n", e.what());
  }
  std::fprintf(stderr, "quillpack: %s was not written\n", o.out.c_str());
  return 1;
}
