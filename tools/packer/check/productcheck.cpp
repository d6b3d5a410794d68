#include "productcheck.h"

#include <cstdio>

#include "checkreport.h"
#include "chunkcheck.h"
#include "filebytes.h"
#include "files.h"
#include "folderlisting.h"
#include "iconresource.h"
#include "payloadcheck.h"
#include "productfolder.h"
#include "resourcetree.h"
#include "skincheck.h"

namespace quillpack {
namespace {

// As stat() sees it: a link is looked through.
bool Is(const std::string& path, PathKind kind) { return Inspect(path, true).kind == kind; }

void CheckSettings(CheckReport& report) {
  ProductFolder p;
  try {
    ParseProductSettings(ReadFileBytes(report.root() + "/product.ini"), "product.ini", p);
  } catch (const PackError& e) {
    report.Problem(e.what());
  }
}

void CheckIcon(CheckReport& report) {
  ResourceSet scratch;
  try {
    AddIconResources(ReadFileBytes(report.root() + "/icon.ico"), "icon.ico", 128, scratch);
  } catch (const PackError& e) {
    report.Problem(e.what());
  }
}

struct PayloadCount {
  uint64_t files = 0, folders = 0, bytes = 0;
  bool listed = false;
};

// Every name the packer would refuse, not only the first.
PayloadCount CheckPayload(CheckReport& report) {
  PayloadCount count;
  std::vector<FolderEntry> entries;
  try {
    entries = ListFolder(report.root() + "/payload");
  } catch (const PackError& e) {
    report.Problem(e.what());
    return count;
  }
  count.listed = true;
  std::vector<FolderEntry> named;
  for (const FolderEntry& e : entries) {
    (e.folder ? count.folders : count.files) += 1;
    count.bytes += e.size;
    try {
      CheckPayloadNames({e}, "payload");
      named.push_back(e);
    } catch (const PackError& problem) {
      report.Problem(problem.what());
    }
  }
  // Names that clash only in case, among those fine on their own.
  try {
    CheckPayloadNames(named, "payload");
  } catch (const PackError& problem) {
    report.Problem(problem.what());
  }
  return count;
}

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int CheckProductFolder(const std::string& folder) {
  CheckReport report(folder);
  if (!Is(report.root(), PathKind::kFolder)) {
    std::printf("%s\n", Missing(report.root(), "product folder not found").c_str());
    std::printf("quillpack: check: 1 problem (nothing else was checked)\n");
    return 1;
  }
  bool whole = true;
  for (const char* file : kProductFiles)
    if (!Is(report.root() + "/" + file, PathKind::kFile)) {
      report.Problem(Missing(report.root() + "/" + file, "missing from the product folder"));
      whole = false;
    }
  for (const char* sub : kProductFolders)
    if (!Is(report.root() + "/" + sub, PathKind::kFolder)) {
      report.Problem(Missing(report.root() + "/" + sub, "folder missing from the product folder"));
      whole = false;
    }
  // What is there is checked all the same.
  const std::string root = report.root() + "/";
  if (Is(root + "product.ini", PathKind::kFile)) CheckSettings(report);
  if (Is(root + "icon.ico", PathKind::kFile)) CheckIcon(report);
  CheckChunks(report);
  if (Is(root + "skin", PathKind::kFolder)) CheckSkin(report);
  PayloadCount payload;
  if (Is(root + "payload", PathKind::kFolder)) payload = CheckPayload(report);

  std::string summary = "quillpack: check: " + Plural(report.problems(), "problem", "problems") + ", " +
                        Plural(report.notes(), "note", "notes");
  if (payload.listed) {
    char size[32];
    std::snprintf(size, sizeof size, "%.1f MB", payload.bytes / 1e6);
    summary += "; payload " + Plural(payload.files, "file", "files") + " in " +
               Plural(payload.folders, "folder", "folders") + ", " + std::to_string(payload.bytes) + " bytes (" +
               size + ")";
  }
  if (!whole) summary += "; the product folder is incomplete";
  std::printf("%s\n", summary.c_str());
  return report.problems() ? 1 : 0;
}

}  // namespace quillpack
