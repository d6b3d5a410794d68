#include "payloadswitches.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <sstream>
#include <vector>

#include "binary.h"

namespace quillpack {

const char kDefaultPayloadSwitches[] = "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=off -mqs -ms=512m";
const char kAcceptedPayloadSwitches[] =
    "-mx=N (0..9), -m0=LZMA2 or -m0=LZMA with :d= :fb= :mc= :lc= :lp= :pb=, -mf=on|off|BCJ, "
    "-ms=on|off|<size>[k|m|g], -mqs[=on|off], -mmt=N, -mhc=on|off";

namespace {

// The installer holds the dictionary while it unpacks; a 32-bit installer
// has 2 GiB of address space for everything.
constexpr uint64_t kMaxDictionary = uint64_t(256) << 20;
constexpr uint64_t kMinDictionary = uint64_t(4) << 10;
// -ms=on: blocks as large as the format describes without trouble.
constexpr uint64_t kSolidOn = uint64_t(4) << 30;

struct Preset {
  uint32_t dictionary;
  int fb;
  bool binaryTree;
};
// -mx=0..9: 7-Zip's levels, with the dictionary held to 64 MiB (larger
// ones only when asked for with d=) and the same on every system.
const Preset kLevels[10] = {
    {64u << 10, 32, false}, {256u << 10, 32, false}, {1u << 20, 32, false}, {4u << 20, 32, false},
    {16u << 20, 32, false}, {32u << 20, 32, true},   {64u << 20, 32, true}, {64u << 20, 64, true},
    {64u << 20, 64, true},  {64u << 20, 64, true},
};

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool Starts(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Why a switch other than -m... is refused, for the ones people reach for.
std::string WhyNotM(const std::string& lower) {
  if (Starts(lower, "-sdel")) return "it deletes the product's payload files once they are packed";
  if (Starts(lower, "-p")) return "it encrypts the payload, which the installer cannot unpack";
  if (Starts(lower, "-x") || Starts(lower, "-i") || Starts(lower, "-ax") || Starts(lower, "-ai") ||
      Starts(lower, "-an") || Starts(lower, "-r"))
    return "it changes which files go into the payload; the payload is always the whole payload folder";
  if (Starts(lower, "-v")) return "it splits the payload into volumes";
  if (Starts(lower, "-t")) return "the payload is always a 7z archive";
  if (Starts(lower, "-sfx")) return "it makes a self-extracting program, not an archive";
  if (Starts(lower, "-sn") || Starts(lower, "-sl")) return "it stores links or streams the installer does not unpack";
  return "it is not a compression setting the packer takes";
}

// Methods 7zz knows that the packer does not write, and why.
std::string WhyNotMethod(const std::string& name) {
  static const char* const kDecoded[] = {"copy", "bcj2", "arm", "armt", "arm64", "ppc", "ia64", "sparc", "riscv",
                                         "delta", nullptr};
  const std::string lower = Lower(name.substr(0, name.find(':')));
  for (const char* const* w = kDecoded; *w; ++w)
    if (lower == *w)
      return "the installer would decode \"" + name + "\" whole, holding each block in memory, instead of as a " +
             "stream; the packer writes LZMA or LZMA2, with BCJ (-mf) for x86 code";
  return "the installer cannot unpack method \"" + name + "\"; the packer writes LZMA or LZMA2, with BCJ (-mf)";
}

// "64m", "1g", "4096", "24" (a dictionary given as a power of two).
std::optional<uint64_t> Size(const std::string& text, bool powerOfTwoIfBare) {
  size_t digits = 0;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits > 12 || text.size() > digits + 1) return std::nullopt;
  const uint64_t n = std::stoull(text.substr(0, digits));
  if (digits == text.size()) {
    if (!powerOfTwoIfBare) return n;
    return n < 63 ? std::optional<uint64_t>(uint64_t(1) << n) : std::nullopt;
  }
  switch (std::tolower(static_cast<unsigned char>(text[digits]))) {
    case 'b': return n;
    case 'k': return n << 10;
    case 'm': return n << 20;
    case 'g': return n << 30;
    default: return std::nullopt;
  }
}

std::optional<uint64_t> Number(const std::string& text) { return Size(text + "b", false); }

std::optional<bool> OnOff(const std::string& text) {
  if (text == "on" || text == "+") return true;
  if (text == "off" || text == "-") return false;
  return std::nullopt;
}

// What the words set, before the level's defaults fill in the rest.
struct Parsed {
  int level = 5;
  std::optional<bool> lzma2;
  std::optional<uint64_t> dictionary;
  std::optional<int> fb, lc, lp, pb;
  std::optional<uint32_t> mc;
};

// "-m0=LZMA2:d=64m:fb=273"; empty when accepted.
std::string ReadMethod(const std::string& spec, Parsed& p) {
  std::vector<std::string> parts;
  std::istringstream in(spec);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  if (parts.empty()) return "no method given";
  const std::string method = Lower(parts[0]);
  if (method == "bcj") return "the packer writes one method (-m0=LZMA2 or -m0=LZMA); x86 code gets BCJ from -mf";
  if (method != "lzma" && method != "lzma2") return WhyNotMethod(parts[0]);
  p.lzma2 = method == "lzma2";
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string prop = Lower(parts[i]);
    const size_t eq = prop.find('=');
    const std::string key = prop.substr(0, eq), value = eq == std::string::npos ? "" : prop.substr(eq + 1);
    auto ranged = [&](uint64_t low, uint64_t high) -> std::optional<uint64_t> {
      const std::optional<uint64_t> v = Number(value);
      return v && *v >= low && *v <= high ? v : std::nullopt;
    };
    std::optional<uint64_t> v;
    if (key == "d") {
      v = Size(value, true);
      if (!v) return "\"" + parts[i] + "\": the dictionary is a size like 64m, 1536k or 26 (2^26 bytes)";
      if (*v < kMinDictionary || *v > kMaxDictionary)
        return "\"" + parts[i] + "\": the dictionary must be 4k to 256m (the installer holds it in memory while it "
               "unpacks)";
      p.dictionary = *v;
    } else if (key == "fb" && (v = ranged(5, 273))) {
      p.fb = int(*v);
    } else if (key == "mc" && (v = ranged(1, 1000000000))) {
      p.mc = uint32_t(*v);
    } else if (key == "lc" && (v = ranged(0, 8))) {
      p.lc = int(*v);
    } else if (key == "lp" && (v = ranged(0, 4))) {
      p.lp = int(*v);
    } else if (key == "pb" && (v = ranged(0, 4))) {
      p.pb = int(*v);
    } else if (key == "fb" || key == "mc" || key == "lc" || key == "lp" || key == "pb") {
      return "\"" + parts[i] + "\": out of range (fb 5..273, mc 1..1000000000, lc 0..8, lp 0..4, pb 0..4)";
    } else {
      return "\"" + parts[i] + "\": the packer takes d, fb, mc, lc, lp and pb for " + parts[0];
    }
  }
  return std::string();
}

// The text after "-m"; empty when accepted.
std::string ReadM(const std::string& body, Parsed& p, SevenZipSettings& s) {
  const std::string lower = Lower(body);
  if (!lower.empty() && std::isdigit(static_cast<unsigned char>(lower[0]))) {
    if (Starts(lower, "0=")) return ReadMethod(body.substr(2), p);
    if (lower[0] != '0' && lower.find('=') != std::string::npos && lower.find('=') < 3)
      return "the packer writes one method (-m0=LZMA2 or -m0=LZMA); x86 code gets BCJ from -mf";
    return "give the method's settings inside -m0, as in -m0=LZMA2:d=64m:fb=273";
  }
  size_t n = 0;
  while (n < lower.size() && std::isalpha(static_cast<unsigned char>(lower[n]))) ++n;
  const std::string name = lower.substr(0, n), rest = lower.substr(n);
  const bool hasValue = !rest.empty() && rest[0] == '=';
  const std::string value = hasValue ? rest.substr(1) : rest;
  if (name == "x") {
    if (value.size() == 1 && std::isdigit(static_cast<unsigned char>(value[0]))) {
      p.level = value[0] - '0';
      return std::string();
    }
    return "the level must be a number 0 to 9, as in -mx=9";
  }
  if (name == "f") {
    if (const std::optional<bool> on = OnOff(value)) {
      s.filter = *on ? SevenZipSettings::Filter::kExecutables : SevenZipSettings::Filter::kOff;
      return std::string();
    }
    if (value == "bcj") {
      s.filter = SevenZipSettings::Filter::kAll;
      return std::string();
    }
    return WhyNotMethod(body.substr(body.find('=') == std::string::npos ? 1 : body.find('=') + 1));
  }
  if (name == "s") {
    if (const std::optional<bool> on = OnOff(value)) {
      s.solidBytes = *on ? kSolidOn : 0;
      return std::string();
    }
    const std::optional<uint64_t> size = Size(value, false);
    if (size && *size > 0) {
      s.solidBytes = *size;
      return std::string();
    }
    return "the solid block size is on, off or a size like 512m (7zz's file counts and -ms=e are not taken)";
  }
  if (name == "qs") {
    const std::optional<bool> on = value.empty() ? std::optional<bool>(true) : OnOff(value);
    if (!on) return "it is -mqs, -mqs=on or -mqs=off";
    s.sortByType = *on;
    return std::string();
  }
  if (name == "mt") {
    const std::optional<bool> on = value.empty() ? std::optional<bool>(true) : OnOff(value);
    const std::optional<uint64_t> threads = Number(value);
    if (on) {
      s.coder.threads = *on ? 2 : 1;
      return std::string();
    }
    if (threads && *threads >= 1 && *threads <= 256) {
      // More than two threads would change the bytes; two is what one
      // block can use without that.
      s.coder.threads = *threads >= 2 ? 2 : 1;
      return std::string();
    }
    return "the thread count is a number from 1, on or off";
  }
  if (name == "hc") {
    const std::optional<bool> on = OnOff(value);
    if (!on) return "it is -mhc=on or -mhc=off";
    s.compressHeader = *on;
    return std::string();
  }
  if (name == "he") return "header encryption needs a password, and the installer cannot unpack an encrypted payload";
  if (name == "b") return "coder bonds are for BCJ2, which the installer would decode whole";
  if (name == "d" || name == "fb" || name == "mc" || name == "lc" || name == "lp" || name == "pb")
    return "give it inside -m0, as in -m0=LZMA2:" + name + "=...";
  return "it is not one of the settings the packer takes";
}

}  // namespace

SevenZipSettings ParsePayloadSwitches(const std::string& switches, const std::string& where) {
  // What 7zz does unless told otherwise: BCJ for programs, solid, files
  // by path, the header compressed.
  SevenZipSettings s;
  s.filter = SevenZipSettings::Filter::kExecutables;
  s.solidBytes = kSolidOn;
  s.sortByType = false;
  s.compressHeader = true;
  s.coder.threads = 2;
  Parsed p;
  std::istringstream words(switches);
  for (std::string w; words >> w;) {
    const std::string lower = Lower(w);
    std::string why;
    if (lower.size() < 2 || lower[0] != '-')
      why = "it is not a switch (only switches can be given; the packer names the files)";
    else if (lower[1] != 'm')
      why = WhyNotM(lower);
    else
      why = ReadM(w.substr(2), p, s);
    if (!why.empty())
      throw PackError(where + "payload_7z_switches: \"" + w + "\" is refused: " + why + " (the packer takes " +
                      kAcceptedPayloadSwitches + "; see \"The payload\" in tools/packer/README.md)");
  }
  const Preset& preset = kLevels[p.level];
  s.coder.lzma2 = p.lzma2.value_or(true);
  s.coder.dictionary = uint32_t(p.dictionary.value_or(preset.dictionary));
  s.coder.binaryTree = preset.binaryTree;
  s.coder.fb = p.fb.value_or(preset.fb);
  s.coder.mc = p.mc.value_or(0);
  s.coder.lc = p.lc.value_or(3);
  s.coder.lp = p.lp.value_or(0);
  s.coder.pb = p.pb.value_or(2);
  if (s.coder.lzma2 && s.coder.lc + s.coder.lp > 4)
    throw PackError(where + "payload_7z_switches: lc=" + std::to_string(s.coder.lc) + " with lp=" +
                    std::to_string(s.coder.lp) + " is refused: LZMA2 takes lc + lp up to 4");
  return s;
}

SevenZipSettings DefaultPayloadSettings() { return ParsePayloadSwitches(kDefaultPayloadSwitches, "the packer's default "); }

}  // namespace quillpack
