#include "utf16.h"

#include <cstdint>
#include <cstdio>

#include "binary.h"

namespace quillpack {

bool Utf8ToUtf16(const std::string& in, std::u16string& out, size_t* errorAt) {
  out.clear();
  size_t i = 0;
  auto bad = [&] {
    if (errorAt) *errorAt = i;
    return false;
  };
  while (i < in.size()) {
    const auto lead = static_cast<unsigned char>(in[i]);
    int extra;
    uint32_t cp, min;
    if (lead < 0x80) { cp = lead; extra = 0; min = 0; }
    else if ((lead & 0xE0) == 0xC0) { cp = lead & 0x1F; extra = 1; min = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { cp = lead & 0x0F; extra = 2; min = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { cp = lead & 0x07; extra = 3; min = 0x10000; }
    else return bad();
    if (in.size() - i <= size_t(extra) && extra > 0) return bad();
    for (int k = 1; k <= extra; ++k) {
      const auto c = static_cast<unsigned char>(in[i + k]);
      if ((c & 0xC0) != 0x80) return bad();
      cp = cp << 6 | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return bad();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(char16_t(0xD800 + (cp >> 10)));
      out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(char16_t(cp));
    }
    i += extra + 1;
  }
  return true;
}

std::string Utf16ToUtf8(const std::u16string& in, bool* exact) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t c = in[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
      if (exact) *exact = false;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void CheckUtf8File(const std::string& text, const std::string& path) {
  const auto starts = [&](const char* bom, size_t n) { return text.compare(0, n, bom, n) == 0; };
  const char* other = starts("\xFF\xFE\0\0", 4)   ? "UTF-32 (byte order mark FF FE 00 00)"
                      : starts("\0\0\xFE\xFF", 4) ? "UTF-32 (byte order mark 00 00 FE FF)"
                      : starts("\xFF\xFE", 2)     ? "UTF-16 (byte order mark FF FE)"
                      : starts("\xFE\xFF", 2)     ? "UTF-16 (byte order mark FE FF)"
                                                  : nullptr;
  if (other) throw PackError(path + ": the file is " + other + ", not UTF-8; save it as UTF-8");
  std::u16string ignored;
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != '\n') continue;
    const std::string content = text.substr(lineStart, i - lineStart);
    const std::string where = path + ":" + std::to_string(line) + ": ";
    const size_t nul = content.find('\0');
    if (nul != std::string::npos)
      throw PackError(where + "NUL byte in column " + std::to_string(nul + 1) +
                      ": the file is not UTF-8 text (UTF-16 without a byte order mark?); save it as UTF-8");
    size_t at = 0;
    if (!Utf8ToUtf16(content, ignored, &at)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "0x%02X", unsigned(static_cast<unsigned char>(content[at])));
      throw PackError(where + "not valid UTF-8 (byte " + hex + " in column " + std::to_string(at + 1) +
                      "); save the file as UTF-8");
    }
    ++line;
    lineStart = i + 1;
  }
}

}  // namespace quillpack
