#pragma once
// The layout reader: an XML skin file (Layout/Layout.xml, its font file)
// parsed with pugixml into a tree of elements whose names, attributes and
// values are checked against the toolkit's schema. Portable, so it can be
// fuzzed natively. Problems are reported with the file, line and column;
// the broken element or attribute is dropped and the rest is kept.
#include <cstdint>
#include <string>
#include <vector>

#include "attrvalue.h"

namespace brixui {

constexpr int kMaxLayoutDepth = 64;

struct LayoutAttr {
  std::string name;
  std::string value;
};

struct LayoutNode {
  std::string tag;
  int line = 0;
  int column = 0;
  bool known = true;  // false: not a toolkit element (a builder callback may know it)
  std::vector<LayoutAttr> attrs;
  std::vector<LayoutNode> children;
  const std::string* Find(const std::string& name) const;
};

// What an element may carry; null when the tag is not a toolkit element.
struct AttrSpec {
  const char* name;
  AttrType type;
};
const std::vector<AttrSpec>* AttributesOf(const std::string& tag);
// Tags of controls (not Window, Font or Fonts).
bool IsControlTag(const std::string& tag);
bool IsContainerTag(const std::string& tag);
// All toolkit tags, for the documentation check.
std::vector<std::string> KnownTags();

// Parses `bytes` (UTF-8, UTF-16 with BOM) as the file `file`. The root must
// be `expectedRoot` ("Window" or "Fonts"). False, with a report, when there
// is no usable document; true otherwise, possibly after reports about
// dropped parts.
bool ReadLayout(const std::string& file, const uint8_t* bytes, size_t size, const std::string& expectedRoot,
                LayoutNode& root);

// 1-based line and column of a byte offset in `bytes`.
void OffsetToLineColumn(const uint8_t* bytes, size_t size, size_t offset, int& line, int& column);

// A font of the font file, sizes in 96-DPI pixels.
struct FontSpec {
  int id = 0;
  std::string face;
  int size = 12;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool isDefault = false;
};
// Font elements of a checked tree (root "Fonts" or "Window").
std::vector<FontSpec> FontsOf(const LayoutNode& root);

}  // namespace brixui
