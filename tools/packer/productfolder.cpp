#include "productfolder.h"

#include <array>
#include <cctype>
#include <functional>
#include <map>
#include <sstream>

#include "binary.h"
#include "filebytes.h"
#include "files.h"
#include "payloadswitches.h"
#include "utf16.h"

namespace quillpack {
namespace {

using Setter = std::function<void(ProductFolder&, const std::string& value, const std::string& where)>;

struct Key {
  bool required;
  Setter set;
};

// A value as quoted in a message: long ones shortened, so a runaway line
// does not flood the terminal.
std::string Quote(const std::string& v) {
  if (v.size() <= 80) return "\"" + v + "\"";
  size_t cut = 60;
  while (cut > 0 && (static_cast<unsigned char>(v[cut]) & 0xC0) == 0x80) --cut;  // whole characters
  return "\"" + v.substr(0, cut) + "...\" (" + std::to_string(v.size()) + " bytes)";
}

// A version-resource string: its node's 16-bit length must hold it next to
// the others, see kMaxVersionText.
Setter VersionText(std::string VersionInfo::*field, const char* key) {
  return [field, key](ProductFolder& p, const std::string& v, const std::string& where) {
    std::u16string units;
    Utf8ToUtf16(v, units);  // checked before
    if (units.size() > kMaxVersionText)
      throw PackError(where + key + " is " + std::to_string(units.size()) +
                      " characters long; the version resource holds at most " + std::to_string(kMaxVersionText) +
                      " (UTF-16 code units) for it");
    p.version.*field = v;
  };
}

void ParseVersion(ProductFolder& p, const std::string& value, const std::string& where) {
  std::array<uint16_t, 4> parts{};
  size_t part = 0, start = 0;
  bool ok = !value.empty();
  for (size_t i = 0; ok && i <= value.size(); ++i) {
    if (i < value.size() && value[i] != '.') {
      ok = value[i] >= '0' && value[i] <= '9' && i - start < 5;
      continue;
    }
    ok = i > start && part < 4;
    if (ok) {
      const unsigned long n = std::stoul(value.substr(start, i - start));
      ok = n <= 65535;
      parts[part++] = uint16_t(n);
    }
    start = i + 1;
  }
  if (!ok || part != 4)
    throw PackError(where + "version " + Quote(value) + " is not four dot-separated numbers 0..65535 (like 2.0.0.18)");
  p.version.version = parts;
  p.version.versionText = value;
}

// A host name as the installer passes it on: letters, digits, dots and
// dashes only, so nothing else can ride along into a URL.
std::string HostName(const std::string& v, const std::string& where, const char* key) {
  bool ok = !v.empty() && v.size() <= 253;
  for (char c : v) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-');
  if (!ok) throw PackError(where + key + " " + Quote(v) + " is not a host name");
  return v;
}

// The one table of accepted keys; a key missing here is reported as
// unknown, so a typo never passes silently.
const std::map<std::string, Key>& Keys() {
  static const std::map<std::string, Key> keys = {
      {"version", {true, ParseVersion}},
      {"product_name", {false, VersionText(&VersionInfo::productName, "product_name")}},
      {"company", {false, VersionText(&VersionInfo::company, "company")}},
      {"description", {false, VersionText(&VersionInfo::description, "description")}},
      {"copyright", {false, VersionText(&VersionInfo::copyright, "copyright")}},
      {"execution_level",
       {false,
        [](ProductFolder& p, const std::string& v, const std::string& where) {
          if (v != "asInvoker" && v != "highestAvailable" && v != "requireAdministrator")
            throw PackError(where + "execution_level " + Quote(v) +
                            " must be asInvoker, highestAvailable or requireAdministrator");
          p.executionLevel = v;
        }}},
      {"payload_7z_switches", {false, [](ProductFolder& p, const std::string& v, const std::string& where) {
         p.payload = ParsePayloadSwitches(v, where);
       }}},
      {"stat_host", {false, [](ProductFolder& p, const std::string& v, const std::string& where) {
         p.settings["STAT_HOST"] = HostName(v, where, "stat_host");
       }}},
      {"counter_host", {false, [](ProductFolder& p, const std::string& v, const std::string& where) {
         p.settings["COUNTER_HOST"] = HostName(v, where, "counter_host");
       }}},
  };
  return keys;
}

std::string Trim(const std::string& s) {
  const char* space = " \t\r\n";
  const size_t a = s.find_first_not_of(space);
  if (a == std::string::npos) return std::string();
  return s.substr(a, s.find_last_not_of(space) - a + 1);
}

}  // namespace

void ParseProductSettings(const std::string& fileText, const std::string& iniPath, ProductFolder& p) {
  CheckUtf8File(fileText, iniPath);
  std::string text = fileText;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  std::map<std::string, int> seen;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string where = iniPath + ":" + std::to_string(number) + ": ";
    const std::string content = Trim(line);
    if (content.empty() || content[0] == '#' || content[0] == ';') continue;
    const size_t eq = content.find('=');
    if (eq == std::string::npos) throw PackError(where + "expected \"key = value\", got " + Quote(content));
    const std::string key = Trim(content.substr(0, eq)), value = Trim(content.substr(eq + 1));
    const auto known = Keys().find(key);
    if (known == Keys().end()) throw PackError(where + "unknown key " + Quote(key));
    if (seen.count(key)) throw PackError(where + "\"" + key + "\" is set twice (first on line " + std::to_string(seen[key]) + ")");
    seen[key] = number;
    for (char c : value)
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
        throw PackError(where + "the value of \"" + key + "\" holds a control character");
    known->second.set(p, value, where);
  }
  for (const auto& k : Keys())
    if (k.second.required && !seen.count(k.first)) throw PackError(iniPath + ": the required key \"" + k.first + "\" is missing");
}

namespace {

bool IsFile(const std::string& path) { return Inspect(path, true).kind == PathKind::kFile; }

bool IsFolder(const std::string& path) { return Inspect(path, true).kind == PathKind::kFolder; }

}  // namespace

std::string Missing(const std::string& path, const char* what) {
  const PathInfo link = Inspect(path, false);
  if (link.kind == PathKind::kLink && link.linkDangling)
    return path + ": is a symbolic link (" + (link.linkTarget.empty() ? "a reparse point" : "to " + link.linkTarget) +
           ", which does not exist)";
  return path + ": " + what;
}

ProductFolder LoadProductFolder(const std::string& root) {
  if (!IsFolder(root)) throw PackError(Missing(root, "product folder not found"));
  ProductFolder p;
  p.root = root;
  while (p.root.size() > 1 && p.root.back() == '/') p.root.pop_back();
  for (const char* file : kProductFiles)
    if (!IsFile(p.Path(file))) throw PackError(Missing(p.Path(file), "missing from the product folder"));
  for (const char* folder : kProductFolders)
    if (!IsFolder(p.Path(folder))) throw PackError(Missing(p.Path(folder), "folder missing from the product folder"));
  ParseProductSettings(ReadFileBytes(p.Path("product.ini")), p.Path("product.ini"), p);
  return p;
}

}  // namespace quillpack
