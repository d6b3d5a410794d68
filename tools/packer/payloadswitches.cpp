#include "payloadswitches.h"

#include <cctype>
#include <cstring>
#include <sstream>

#include "binary.h"

namespace quillpack {

// 7zDec.c of the SDK the installer is built with (no PPMd, filters on):
// Copy, LZMA and LZMA2, each alone, after one branch or delta filter, or
// as the three streams of BCJ2.
const char* const kPayloadMethods[] = {"Copy", "LZMA", "LZMA2", nullptr};
const char* const kPayloadFilters[] = {"BCJ", "BCJ2", "ARM", "ARMT", "ARM64", "PPC", "IA64", "SPARC", "RISCV", "Delta",
                                       nullptr};
const char* const kStreamingChains[] = {"LZMA", "LZMA2", "BCJ LZMA", "BCJ LZMA2", nullptr};
const char kDefaultPayloadSwitches[] = "-mx=9 -m0=LZMA2:d=64m:fb=273 -mf=off -mqs -ms=512m";

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool InList(const char* const* list, const std::string& name) {
  for (; *list; ++list)
    if (Lower(*list) == Lower(name)) return true;
  return false;
}

std::string Joined(const char* const* list) {
  std::string s;
  for (; *list; ++list) s += (s.empty() ? "" : ", ") + std::string(*list);
  return s;
}

bool AllOf(const std::string& s, const char* chars) {
  for (char c : s)
    if (!std::strchr(chars, c)) return false;
  return true;
}

// Why a switch other than -m... is refused, for the ones people reach for.
const char* WhyNotM(const std::string& lower) {
  const auto is = [&](const char* prefix) { return lower.compare(0, std::strlen(prefix), prefix) == 0; };
  if (is("-sdel")) return "it deletes the product's payload files once they are packed";
  if (is("-p")) return "it encrypts the payload, which the installer cannot unpack";
  if (is("-x") || is("-i") || is("-ax") || is("-ai") || is("-an") || is("-r"))
    return "it changes which files go into the payload; the payload is always the whole payload folder";
  if (is("-v")) return "it splits the payload into volumes";
  if (is("-t")) return "the payload is always a 7z archive";
  if (is("-sfx")) return "it makes a self-extracting program, not an archive";
  if (is("-sn") || is("-sl")) return "it stores links or streams the installer does not unpack";
  if (is("-u") || is("-w") || is("-o") || is("-s") || is("-b") || is("-y") || is("-a"))
    return "it is not a compression setting";
  return "it is not a 7zz compression switch the packer knows";
}

// Checks a coder spec "Name[:prop[:prop...]]"; empty when accepted.
std::string CheckCoder(const std::string& spec, bool filterOnly) {
  const std::string name = spec.substr(0, spec.find(':'));
  const std::string props = spec.size() > name.size() ? spec.substr(name.size() + 1) : std::string();
  const bool known = InList(kPayloadFilters, name) || (!filterOnly && InList(kPayloadMethods, name));
  if (!known)
    return "the installer cannot unpack method \"" + name + "\" (it unpacks " + Joined(kPayloadMethods) +
           ", after one filter of " + Joined(kPayloadFilters) + ")";
  if (!AllOf(Lower(props), "abcdefghijklmnopqrstuvwxyz0123456789=:"))
    return "unexpected characters in the properties of \"" + name + "\"";
  return std::string();
}

// Checks the text after "-m"; empty when accepted.
std::string CheckMethodParameter(const std::string& body) {
  const std::string lower = Lower(body);
  // -m<N>=<coder>: one coder of the chain, -m<N><prop>=<value>: its property.
  if (!lower.empty() && std::isdigit(static_cast<unsigned char>(lower[0]))) {
    size_t n = 0;
    while (n < lower.size() && std::isdigit(static_cast<unsigned char>(lower[n]))) ++n;
    if (n < lower.size() && lower[n] == '=') return CheckCoder(body.substr(n + 1), false);
    const size_t eq = lower.find('=');
    const std::string prop = lower.substr(n, eq == std::string::npos ? std::string::npos : eq - n);
    for (const char* p : {"d", "fb", "mc", "mf", "lc", "lp", "pb", "a", "c", "mt"})
      if (prop == p && eq != std::string::npos && AllOf(lower.substr(eq + 1), "abcdefghijklmnopqrstuvwxyz0123456789"))
        return std::string();
    return "not a coder or coder property the packer knows";
  }
  size_t n = 0;
  while (n < lower.size() && std::isalpha(static_cast<unsigned char>(lower[n]))) ++n;
  const std::string name = lower.substr(0, n), rest = lower.substr(n);
  const std::string value = rest.empty() ? rest : rest[0] == '=' ? rest.substr(1) : rest;
  const bool plainValue = AllOf(value, "abcdefghijklmnopqrstuvwxyz0123456789");
  if (name == "he") return "header encryption needs a password, and the installer cannot unpack an encrypted payload";
  if (name == "f") {
    if (value.empty() || value == "on" || value == "off") return std::string();
    return CheckCoder(body.substr(body.find('=') == std::string::npos ? 1 : body.find('=') + 1), true);
  }
  if (name == "b") {
    // Bonds between coders, "-mb0s0:1" ("BCJ2's first stream into coder 1").
    return AllOf(rest, "0123456789s:") && !rest.empty() ? std::string() : "a malformed coder bond";
  }
  // Level, solid blocks, threads, dictionary and the LZMA encoder's
  // settings, header compression, file order, timestamps and attributes.
  for (const char* known : {"x", "s", "mt", "mtf", "d", "fb", "mc", "mf", "lc", "lp", "pb", "a", "c", "hc", "qs",
                            "yx", "tm", "tc", "ta", "tr", "memuse"})
    if (name == known) return plainValue ? std::string() : "an unexpected value";
  return "not a compression setting the packer knows";
}

}  // namespace

std::vector<std::string> CheckPayloadSwitches(const std::string& switches, const std::string& where) {
  std::vector<std::string> out;
  std::istringstream words(switches);
  for (std::string w; words >> w;) {
    const std::string lower = Lower(w);
    std::string why;
    if (lower.size() < 2 || lower[0] != '-')
      why = "it is not a switch (only switches can be given; the packer names the files)";
    else if (lower[1] != 'm')
      why = WhyNotM(lower);
    else
      why = CheckMethodParameter(w.substr(2));
    if (!why.empty())
      throw PackError(where + "payload_7z_switches: \"" + w + "\" is refused: " + why +
                      " (the accepted switches are listed under \"The payload\" in tools/packer/README.md)");
    out.push_back(w);
  }
  return out;
}

std::vector<std::string> DefaultPayloadSwitches() {
  return CheckPayloadSwitches(kDefaultPayloadSwitches, "the packer's default ");
}

}  // namespace quillpack
