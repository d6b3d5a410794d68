#include "layoutdoc.h"

#include <pugixml.hpp>

#include <map>

#include "uidiag.h"

namespace brixui {
namespace {

using T = AttrType;

const std::vector<AttrSpec> kControlAttrs = {
    {"name", T::String},        {"width", T::Int},           {"height", T::Int},
    {"size", T::Size},          {"minwidth", T::Int},        {"minheight", T::Int},
    {"maxwidth", T::Int},       {"maxheight", T::Int},       {"padding", T::Insets},
    {"float", T::Bool},         {"pos", T::Insets},          {"visible", T::Bool},
    {"enabled", T::Bool},       {"text", T::String},         {"tooltip", T::String},
    {"userdata", T::String},    {"tag", T::Int},             {"font", T::Int},
    {"textcolor", T::Color},    {"disabledtextcolor", T::Color}, {"hottextcolor", T::Color},
    {"align", T::HAlign},       {"valign", T::VAlign},       {"textpadding", T::Insets},
    {"multiline", T::Bool},     {"bkcolor", T::Color},       {"bkimage", T::Image},
    {"bordercolor", T::Color},  {"focusbordercolor", T::Color}, {"bordersize", T::InsetsOrInt},
    {"borderround", T::Size},   {"normalimage", T::Image},   {"hotimage", T::Image},
    {"pushedimage", T::Image},  {"focusedimage", T::Image},  {"disabledimage", T::Image},
    {"outlinecolor", T::Color}, {"outlinesize", T::Int},     {"glowcolor", T::Color},
    {"glowsize", T::Int},       {"keyboard", T::Bool},       {"mouse", T::Bool},
    {"role", T::String},
};

std::vector<AttrSpec> With(std::vector<AttrSpec> base, std::initializer_list<AttrSpec> more) {
  base.insert(base.end(), more);
  return base;
}

const std::vector<AttrSpec> kContainerAttrs = With(kControlAttrs, {{"inset", T::Insets}, {"childpadding", T::Int}});

const std::map<std::string, std::vector<AttrSpec>>& Schema() {
  static const std::map<std::string, std::vector<AttrSpec>> schema = {
      {"Window", {{"size", T::Size}, {"caption", T::Insets}, {"roundcorner", T::Size},
                  {"shadowsize", T::Int}, {"shadowcolor", T::Color}, {"fontfile", T::String},
                  {"bkcolor", T::Color}, {"title", T::String}, {"mininfo", T::Size}}},
      {"Fonts", {}},
      {"Font", {{"id", T::Int}, {"name", T::String}, {"size", T::Int}, {"bold", T::Bool},
                {"italic", T::Bool}, {"underline", T::Bool}, {"default", T::Bool}}},
      {"Control", kControlAttrs},
      {"Label", kControlAttrs},
      {"Text", kControlAttrs},
      {"Button", kControlAttrs},
      {"Option", With(kControlAttrs, {{"group", T::String}, {"selected", T::Bool}, {"selectedimage", T::Image},
                                      {"selectedhotimage", T::Image}, {"selectedtextcolor", T::Color}})},
      {"CheckBox", With(kControlAttrs, {{"selected", T::Bool}, {"selectedimage", T::Image},
                                        {"selectedhotimage", T::Image}, {"selectedtextcolor", T::Color}})},
      {"Progress", With(kControlAttrs, {{"min", T::Int}, {"max", T::Int}, {"value", T::Int},
                                        {"foreimage", T::Image}, {"forecolor", T::Color}})},
      {"RichEdit", With(kControlAttrs, {{"maxchar", T::Int}, {"readonly", T::Bool}, {"password", T::Bool}})},
      {"Edit", With(kControlAttrs, {{"maxchar", T::Int}, {"readonly", T::Bool}, {"password", T::Bool}})},
      {"Container", kContainerAttrs},
      {"VerticalLayout", kContainerAttrs},
      {"HorizontalLayout", kContainerAttrs},
      {"TabLayout", With(kContainerAttrs, {{"selectedid", T::Int}})},
  };
  return schema;
}

struct Reader {
  std::string file;
  const uint8_t* bytes;
  size_t size;

  void Where(const pugi::xml_node& n, int& line, int& col) const {
    const ptrdiff_t off = n.offset_debug();
    if (off < 0) { line = col = 0; return; }
    size_t at = static_cast<size_t>(off);
    // pugixml points at the element's name; report its '<'.
    if (at > 0 && at <= size && bytes[at - 1] == '<') --at;
    OffsetToLineColumn(bytes, size, at, line, col);
  }

  void Convert(const pugi::xml_node& x, LayoutNode& out, int depth) {
    out.tag = x.name();
    Where(x, out.line, out.column);
    const auto* spec = AttributesOf(out.tag);
    out.known = spec != nullptr;
    for (pugi::xml_attribute a = x.first_attribute(); a; a = a.next_attribute()) {
      LayoutAttr attr{a.name(), a.value()};
      // Attribute names are read without regard to case ("Tag" is "tag").
      for (char& ch : attr.name)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
      if (spec) {
        const AttrSpec* found = nullptr;
        for (const auto& s : *spec)
          if (attr.name == s.name) found = &s;
        if (!found) {
          Diag(file, out.line, out.column, "unknown attribute \"" + attr.name + "\" on <" + out.tag + "> (ignored)");
          continue;
        }
        std::string why;
        if (!CheckAttrValue(found->type, attr.value, &why)) {
          Diag(file, out.line, out.column, "attribute \"" + attr.name + "\" of <" + out.tag + ">: " + why + " (ignored)");
          continue;
        }
      }
      out.attrs.push_back(std::move(attr));
    }
    for (pugi::xml_node c = x.first_child(); c; c = c.next_sibling()) {
      if (c.type() != pugi::node_element) continue;
      int line, col;
      Where(c, line, col);
      const std::string tag = c.name();
      if (depth + 1 > kMaxLayoutDepth) {
        Diag(file, line, col, "<" + tag + "> nests deeper than " + std::to_string(kMaxLayoutDepth) + " levels (dropped)");
        continue;
      }
      const bool fontPlace = out.tag == "Fonts" || out.tag == "Window";
      if (tag == "Font" && !fontPlace) {
        Diag(file, line, col, "<Font> belongs in the font file or <Window> (dropped)");
        continue;
      }
      if (out.tag == "Fonts" && tag != "Font") {
        Diag(file, line, col, "<" + tag + "> in a font file (dropped)");
        continue;
      }
      if (tag == "Window" || tag == "Fonts") {
        Diag(file, line, col, "<" + tag + "> may only be the root element (dropped)");
        continue;
      }
      if (out.tag == "Font" || (spec && IsControlTag(out.tag) && !IsContainerTag(out.tag))) {
        Diag(file, line, col, "<" + out.tag + "> takes no child elements (dropped <" + tag + ">)");
        continue;
      }
      out.children.emplace_back();
      Convert(c, out.children.back(), depth + 1);
    }
  }
};

}  // namespace

const std::string* LayoutNode::Find(const std::string& name) const {
  for (const auto& a : attrs)
    if (a.name == name) return &a.value;
  return nullptr;
}

const std::vector<AttrSpec>* AttributesOf(const std::string& tag) {
  const auto& s = Schema();
  const auto it = s.find(tag);
  return it == s.end() ? nullptr : &it->second;
}

bool IsContainerTag(const std::string& tag) {
  return tag == "Container" || tag == "VerticalLayout" || tag == "HorizontalLayout" || tag == "TabLayout";
}

bool IsControlTag(const std::string& tag) {
  return AttributesOf(tag) && tag != "Window" && tag != "Font" && tag != "Fonts";
}

std::vector<std::string> KnownTags() {
  std::vector<std::string> tags;
  for (const auto& kv : Schema()) tags.push_back(kv.first);
  return tags;
}

void OffsetToLineColumn(const uint8_t* bytes, size_t size, size_t offset, int& line, int& column) {
  line = 1;
  column = 1;
  if (offset > size) offset = size;
  for (size_t i = 0; i < offset; ++i) {
    if (bytes[i] == '\n') {
      ++line;
      column = 1;
    } else if ((bytes[i] & 0xC0) != 0x80) {
      ++column;  // count characters, not UTF-8 continuation bytes
    }
  }
}

bool ReadLayout(const std::string& file, const uint8_t* bytes, size_t size, const std::string& expectedRoot,
                LayoutNode& root) {
  root = LayoutNode();
  pugi::xml_document doc;
  const pugi::xml_parse_result result =
      doc.load_buffer(bytes, size, pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_auto);
  if (!result) {
    int line = 0, col = 0;
    if (result.offset >= 0) OffsetToLineColumn(bytes, size, static_cast<size_t>(result.offset), line, col);
    Diag(file, line, col, std::string("malformed XML: ") + result.description());
    return false;
  }
  const pugi::xml_node top = doc.document_element();
  Reader reader{file, bytes, size};
  if (!top) {
    Diag(file, 1, 1, "no root element");
    return false;
  }
  if (expectedRoot != top.name()) {
    int line, col;
    reader.Where(top, line, col);
    Diag(file, line, col, "root element is <" + std::string(top.name()) + ">, expected <" + expectedRoot + ">");
    return false;
  }
  reader.Convert(top, root, 1);
  return true;
}

std::vector<FontSpec> FontsOf(const LayoutNode& root) {
  std::vector<FontSpec> fonts;
  for (const auto& n : root.children) {
    if (n.tag != "Font") continue;
    FontSpec f;
    if (const auto* v = n.Find("id")) ParseInt(*v, f.id);
    if (const auto* v = n.Find("name")) f.face = *v;
    if (const auto* v = n.Find("size")) ParseInt(*v, f.size);
    if (const auto* v = n.Find("bold")) ParseBool(*v, f.bold);
    if (const auto* v = n.Find("italic")) ParseBool(*v, f.italic);
    if (const auto* v = n.Find("underline")) ParseBool(*v, f.underline);
    if (const auto* v = n.Find("default")) ParseBool(*v, f.isDefault);
    if (f.size <= 0 || f.size > 400) f.size = 12;
    fonts.push_back(f);
  }
  return fonts;
}

}  // namespace brixui
