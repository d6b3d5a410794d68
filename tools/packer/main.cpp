// quillpack: builds a product's setup.exe from the installer stub and a
// product folder (see README.md for the folder's layout).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "binary.h"
#include "chunkcompiler.h"
#include "console.h"
#include "filebytes.h"
#include "iconresource.h"
#include "manifestresource.h"
#include "payload.h"
#include "peresources.h"
#include "productfolder.h"
#include "resourcetree.h"
#include "skinzip.h"
#include "sourcedate.h"
#include "stopsignal.h"
#include "versionresource.h"

namespace quillpack {
namespace {

const char kUsage[] =
    "usage: quillpack --stub <stub.exe> --product <product folder> --out <setup.exe>\n"
    "\n"
    "Adds the product's resources to a copy of the installer stub:\n"
    "  config.lua, install.lua, uninstall.lua  compiled chunks (LUA)\n"
    "  skin/                                   skin archive (ZIP 249)\n"
    "  payload/                                product files (_7Z APP.7Z)\n"
    "  icon.ico                                icon group 128\n"
    "  product.ini                             version resource and manifest\n"
    "and the product's uninstaller (_7Z UNINST.7Z, holding uninst.exe): the same\n"
    "stub with the configuration and uninstall chunks, icon and version.\n"
    "The output is replaced only when packing succeeds. With SOURCE_DATE_EPOCH\n"
    "set, no time stored is later than it.\n";

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
  TimeLimit times;
};

void Say(std::FILE* stream, const std::string& text) { PrintText(stream, "quillpack: " + text + "\n"); }

int Pack(const Options& o) {
  const auto started = std::chrono::steady_clock::now();
  // Everything cheap is checked before the payload is compressed.
  Bytes stub;
  try {
    stub = ReadFileBytes(o.stub);
  } catch (const PackError& e) {
    throw PackError(std::string("stub ") + e.what());
  }
  const ProductFolder product = LoadProductFolder(o.product);

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

  // The uninstaller shows message boxes only: the skin is not in it.
  resources.Add(ResourceKey::Named("ZIP"), ResourceKey::Id(kSkinZipId), kLangNeutral,
                BuildSkinZip(product.Path("skin"), o.times));
  resources.Add(ResourceKey::Named("_7Z"), ResourceKey::Named("UNINST.7Z"), kLangNeutral,
                PackUninstaller(AddResourceSection(stub, uninstaller)));
  PayloadReport payload;
  resources.Add(ResourceKey::Named("_7Z"), ResourceKey::Named("APP.7Z"), kLangNeutral,
                BuildPayload(product.Path("payload"), product.payload, o.times, payload));

  const Bytes image = AddResourceSection(stub, resources);
  ThrowIfStopped();
  WriteFileReplacing(o.out, image, true);

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  Say(stdout, PayloadSummary(payload));
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
  const std::vector<std::string> args = Arguments(argc, argv);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintText(stdout, kUsage);
      return 0;
    }
    std::string* target = arg == "--stub" ? &o.stub : arg == "--product" ? &o.product : arg == "--out" ? &o.out : nullptr;
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
    return Pack(o);
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
