#pragma once
// Parsing of layout attribute values. Portable: the layout reader checks
// values with these before any control exists, and the controls use the same
// functions to read them. Every parser returns false for a malformed value
// and leaves its output untouched.
#include <cstdint>
#include <string>

namespace brixui {

struct Insets {  // left, top, right, bottom (96-DPI units)
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Insets& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};
struct Size2 {
  int cx = 0, cy = 0;
};

bool ParseInt(const std::string& s, int& out);
// "w,h"
bool ParseSize(const std::string& s, Size2& out);
// "l,t,r,b"; ParseInsetsOrInt also takes a single "n" for all four sides.
bool ParseInsets(const std::string& s, Insets& out);
bool ParseInsetsOrInt(const std::string& s, Insets& out);
// "true"/"false" (also 1/0, yes/no).
bool ParseBool(const std::string& s, bool& out);
// "#AARRGGBB", "#RRGGBB" (opaque) or "0xAARRGGBB"; the result is ARGB.
bool ParseColor(const std::string& s, uint32_t& out);

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };
bool ParseHAlign(const std::string& s, HAlign& out);  // left, center, right
bool ParseVAlign(const std::string& s, VAlign& out);  // top, vcenter (or center), bottom

// An image reference: a plain entry name, or the keyed form
//   file='Image/a.png' source='0,0,16,16' corner='4,4,4,4' dest='...' fade='200'
// with source, corner and dest in 96-DPI units of the 100 % image.
struct ImageRef {
  std::string file;
  Insets source;  // all zero: the whole image
  bool hasSource = false;
  Insets corner;  // nine-grid borders that keep their size
  Insets dest;    // position inside the control, all zero: fill it
  bool hasDest = false;
  int fade = 255;
  bool empty() const { return file.empty(); }
};
bool ParseImageRef(const std::string& s, ImageRef& out, std::string* error = nullptr);

// Which value type an attribute has; used by the schema and its checks.
enum class AttrType { String, Int, Bool, Size, Insets, InsetsOrInt, Color, HAlign, VAlign, Image };
const char* AttrTypeName(AttrType t);
bool CheckAttrValue(AttrType t, const std::string& value, std::string* error);

}  // namespace brixui
