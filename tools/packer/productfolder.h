#pragma once
// A product folder: product.ini and the files the installer is built from.
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "payloadswitches.h"
#include "versionresource.h"

namespace quillpack {

struct ProductFolder {
  std::string root;
  VersionInfo version;
  std::string executionLevel = "asInvoker";
  // Replaced as a whole when product.ini sets payload_7z_switches.
  SevenZipSettings payload = DefaultPayloadSettings();
  // Deployment settings the installer reads at run time: resource name (of
  // type "CFG") to UTF-8 text.
  std::map<std::string, std::string> settings;

  std::string Path(const std::string& relative) const { return root + "/" + relative; }
};

// What every product folder holds.
inline constexpr const char* kProductFiles[] = {"product.ini", "config.lua", "install.lua", "uninstall.lua", "icon.ico"};
inline constexpr const char* kProductFolders[] = {"skin", "payload"};

// Longest product_name, company, description or copyright, in UTF-16 code
// units: four of them and the fixed parts stay below the 64 KiB that the
// version resource's 16-bit lengths can describe.
constexpr size_t kMaxVersionText = 4096;

// Parses the text of product.ini (read from iniPath, named in errors) into p.
// Throws PackError ("product.ini:LINE: ...").
void ParseProductSettings(const std::string& text, const std::string& iniPath, ProductFolder& p);

// Why an entry that should be there is not ("<path>: <what>"): a link to
// nothing says so, since the entry itself is plainly there when one lists
// the folder.
std::string Missing(const std::string& path, const char* what);

// Reads and checks product.ini and that every required file and folder is
// there. Throws PackError ("product.ini:LINE: ..." for settings).
ProductFolder LoadProductFolder(const std::string& root);

}  // namespace quillpack
