#include "attrvalue.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace brixui {
namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

bool SplitInts(const std::string& s, std::vector<int>& out) {
  out.clear();
  size_t start = 0;
  while (true) {
    const size_t comma = s.find(',', start);
    int v;
    if (!ParseInt(s.substr(start, comma == std::string::npos ? std::string::npos : comma - start), v)) return false;
    out.push_back(v);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool Lower(const std::string& s, const char* word) {
  const std::string t = Trim(s);
  size_t i = 0;
  for (; word[i]; ++i) {
    if (i >= t.size()) return false;
    char c = t[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i]) return false;
  }
  return i == t.size();
}

}  // namespace

bool ParseInt(const std::string& s, int& out) {
  const std::string t = Trim(s);
  if (t.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(t.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < -1000000 || v > 1000000) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseSize(const std::string& s, Size2& out) {
  std::vector<int> v;
  if (!SplitInts(s, v) || v.size() != 2) return false;
  out.cx = v[0];
  out.cy = v[1];
  return true;
}

bool ParseInsets(const std::string& s, Insets& out) {
  std::vector<int> v;
  if (!SplitInts(s, v) || v.size() != 4) return false;
  out = Insets{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseInsetsOrInt(const std::string& s, Insets& out) {
  std::vector<int> v;
  if (!SplitInts(s, v)) return false;
  if (v.size() == 1) out = Insets{v[0], v[0], v[0], v[0]};
  else if (v.size() == 4) out = Insets{v[0], v[1], v[2], v[3]};
  else return false;
  return true;
}

bool ParseBool(const std::string& s, bool& out) {
  if (Lower(s, "true") || Lower(s, "1") || Lower(s, "yes")) { out = true; return true; }
  if (Lower(s, "false") || Lower(s, "0") || Lower(s, "no")) { out = false; return true; }
  return false;
}

bool ParseColor(const std::string& s, uint32_t& out) {
  std::string t = Trim(s);
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
  else if (!t.empty() && t[0] == '#') t = t.substr(1);
  else return false;
  if (t.size() != 6 && t.size() != 8) return false;
  uint32_t v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  if (t.size() == 6) v |= 0xff000000u;
  out = v;
  return true;
}

bool ParseHAlign(const std::string& s, HAlign& out) {
  if (Lower(s, "left")) out = HAlign::Left;
  else if (Lower(s, "center") || Lower(s, "centre")) out = HAlign::Center;
  else if (Lower(s, "right")) out = HAlign::Right;
  else return false;
  return true;
}

bool ParseVAlign(const std::string& s, VAlign& out) {
  if (Lower(s, "top")) out = VAlign::Top;
  else if (Lower(s, "vcenter") || Lower(s, "center") || Lower(s, "centre")) out = VAlign::Center;
  else if (Lower(s, "bottom")) out = VAlign::Bottom;
  else return false;
  return true;
}

bool ParseImageRef(const std::string& s, ImageRef& out, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  const std::string t = Trim(s);
  ImageRef r;
  if (t.find('=') == std::string::npos || t.find('\'') == std::string::npos) {
    r.file = t;
    out = r;
    return true;
  }
  size_t i = 0;
  while (i < t.size()) {
    while (i < t.size() && t[i] == ' ') ++i;
    if (i >= t.size()) break;
    const size_t eq = t.find('=', i);
    if (eq == std::string::npos || eq + 1 >= t.size() || t[eq + 1] != '\'') return fail("expected key='value' in image reference");
    const std::string key = Trim(t.substr(i, eq - i));
    const size_t close = t.find('\'', eq + 2);
    if (close == std::string::npos) return fail("unterminated quote in image reference");
    const std::string value = t.substr(eq + 2, close - eq - 2);
    i = close + 1;
    if (key == "file") r.file = value;
    else if (key == "source") { if (!ParseInsets(value, r.source)) return fail("bad source rectangle '" + value + "'"); r.hasSource = true; }
    else if (key == "corner") { if (!ParseInsets(value, r.corner)) return fail("bad corner '" + value + "'"); }
    else if (key == "dest") { if (!ParseInsets(value, r.dest)) return fail("bad dest rectangle '" + value + "'"); r.hasDest = true; }
    else if (key == "fade") { if (!ParseInt(value, r.fade) || r.fade < 0 || r.fade > 255) return fail("bad fade '" + value + "'"); }
    else return fail("unknown image key '" + key + "'");
  }
  if (r.file.empty()) return fail("image reference without file");
  out = r;
  return true;
}

const char* AttrTypeName(AttrType t) {
  switch (t) {
    case AttrType::String: return "text";
    case AttrType::Int: return "an integer";
    case AttrType::Bool: return "true or false";
    case AttrType::Size: return "\"width,height\"";
    case AttrType::Insets: return "\"left,top,right,bottom\"";
    case AttrType::InsetsOrInt: return "an integer or \"left,top,right,bottom\"";
    case AttrType::Color: return "a colour #AARRGGBB";
    case AttrType::HAlign: return "left, center or right";
    case AttrType::VAlign: return "top, vcenter or bottom";
    case AttrType::Image: return "an image reference";
  }
  return "?";
}

bool CheckAttrValue(AttrType t, const std::string& v, std::string* error) {
  bool ok = true;
  std::string imageError;
  switch (t) {
    case AttrType::String: break;
    case AttrType::Int: { int x; ok = ParseInt(v, x); break; }
    case AttrType::Bool: { bool x; ok = ParseBool(v, x); break; }
    case AttrType::Size: { Size2 x; ok = ParseSize(v, x); break; }
    case AttrType::Insets: { Insets x; ok = ParseInsets(v, x); break; }
    case AttrType::InsetsOrInt: { Insets x; ok = ParseInsetsOrInt(v, x); break; }
    case AttrType::Color: { uint32_t x; ok = ParseColor(v, x); break; }
    case AttrType::HAlign: { HAlign x; ok = ParseHAlign(v, x); break; }
    case AttrType::VAlign: { VAlign x; ok = ParseVAlign(v, x); break; }
    case AttrType::Image: { ImageRef x; ok = v.empty() || ParseImageRef(v, x, &imageError); break; }
  }
  if (!ok && error) {
    *error = "bad value \"" + v + "\", expected " + AttrTypeName(t);
    if (!imageError.empty()) *error += " (" + imageError + ")";
  }
  return ok;
}

}  // namespace brixui
