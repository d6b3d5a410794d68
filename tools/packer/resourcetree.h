#pragma once
// The resources of one executable and their encoding as a .rsrc section:
// the three-level directory (type, name, language), the names and the data.
#include <cstdint>
#include <string>
#include <vector>

#include "binary.h"

namespace quillpack {

// A type or a name: an integer id or a string.
struct ResourceKey {
  bool named = false;
  uint16_t id = 0;
  std::u16string name;  // stored upper-cased, see Named()

  static ResourceKey Id(uint16_t id);
  // Lookups upper-case the requested name and then compare exactly, so names
  // are stored upper-cased, as the resource compiler does. ASCII only.
  static ResourceKey Named(const std::string& ascii);
  std::string Describe() const;
};

// Windows' order inside one directory: names before ids, names by their
// UTF-16 code units, ids ascending.
bool operator<(const ResourceKey& a, const ResourceKey& b);
bool operator==(const ResourceKey& a, const ResourceKey& b);

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtGroupIcon = 14;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;
constexpr uint16_t kLangNeutral = 0;

class ResourceSet {
 public:
  // A second resource with the same type, name and language is a PackError.
  void Add(const ResourceKey& type, const ResourceKey& name, uint16_t language, Bytes data);
  bool empty() const { return items_.empty(); }
  // fn(type, name, data) for each resource, in the order they were added.
  template <class Fn>
  void ForEach(Fn fn) const {
    for (const auto& item : items_) fn(item.type, item.name, item.data);
  }
  size_t size() const { return items_.size(); }

  // The section's bytes when it is mapped at sectionRva (data entries hold
  // RVAs, everything else offsets from the section start).
  Bytes BuildSection(uint32_t sectionRva) const;

 private:
  struct Item {
    ResourceKey type, name;
    uint16_t language;
    Bytes data;
  };
  std::vector<Item> items_;
};

}  // namespace quillpack
