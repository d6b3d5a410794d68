#include "resourcetree.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace quillpack {

ResourceKey ResourceKey::Id(uint16_t id) {
  ResourceKey k;
  k.id = id;
  return k;
}

ResourceKey ResourceKey::Named(const std::string& ascii) {
  if (ascii.empty() || ascii.size() > 255) throw PackError("resource name must have 1 to 255 characters");
  ResourceKey k;
  k.named = true;
  for (char c : ascii) {
    if (static_cast<unsigned char>(c) >= 0x80) throw PackError("resource name \"" + ascii + "\" is not ASCII");
    k.name.push_back(char16_t(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
  }
  return k;
}

std::string ResourceKey::Describe() const {
  if (!named) return std::to_string(id);
  return std::string(name.begin(), name.end());  // ASCII by construction
}

bool operator<(const ResourceKey& a, const ResourceKey& b) {
  if (a.named != b.named) return a.named;
  return a.named ? a.name < b.name : a.id < b.id;
}

bool operator==(const ResourceKey& a, const ResourceKey& b) { return !(a < b) && !(b < a); }

void ResourceSet::Add(const ResourceKey& type, const ResourceKey& name, uint16_t language, Bytes data) {
  for (const Item& i : items_)
    if (i.type == type && i.name == name && i.language == language)
      throw PackError("resource " + type.Describe() + "/" + name.Describe() + " added twice");
  items_.push_back({type, name, language, std::move(data)});
}

namespace {

constexpr uint32_t kSubdirectory = 0x80000000u;
constexpr uint32_t kNameIsString = 0x80000000u;

}  // namespace

Bytes ResourceSet::BuildSection(uint32_t sectionRva) const {
  // type -> name -> language -> item, each level sorted by its key.
  std::map<ResourceKey, std::map<ResourceKey, std::map<uint16_t, const Item*>>> tree;
  for (const Item& i : items_) tree[i.type][i.name][i.language] = &i;

  // Layout: all directories (root, types, names), then the name strings,
  // then the data entries, then the data itself.
  size_t typeCount = tree.size(), leafCount = 0;
  for (auto& t : tree)
    for (auto& n : t.second) leafCount += n.second.size();
  auto dirSize = [](size_t entries) { return 16 + 8 * entries; };
  size_t directoriesSize = dirSize(typeCount);
  for (auto& t : tree) {
    directoriesSize += dirSize(t.second.size());
    for (auto& n : t.second) directoriesSize += dirSize(n.second.size());
  }

  Bytes dirs, strings, dataEntries, data;
  std::map<std::u16string, uint32_t> stringOffsets;
  const size_t stringsStart = directoriesSize;
  auto nameField = [&](const ResourceKey& k) -> uint32_t {
    if (!k.named) return k.id;
    auto found = stringOffsets.find(k.name);
    if (found != stringOffsets.end()) return kNameIsString | found->second;
    uint32_t off = uint32_t(stringsStart + strings.size());
    PutU16(strings, uint16_t(k.name.size()));  // counted, not terminated
    for (char16_t c : k.name) PutU16(strings, c);
    stringOffsets[k.name] = off;
    return kNameIsString | off;
  };
  auto header = [](Bytes& b, const std::vector<ResourceKey>& keys) {
    size_t named = 0;
    for (const auto& k : keys) named += k.named ? 1 : 0;
    // Both counts are 16 bits wide.
    if (named > 0xFFFF || keys.size() - named > 0xFFFF)
      throw PackError("too many resources in one directory (" + std::to_string(keys.size()) + ")");
    PutU32(b, 0);  // characteristics
    PutU32(b, 0);  // time stamp: zero keeps builds reproducible
    PutU16(b, 0);
    PutU16(b, 0);
    PutU16(b, uint16_t(named));
    PutU16(b, uint16_t(keys.size() - named));
  };

  // Directories are written breadth first; a child's offset is known from
  // the sizes of the directories before it.
  std::vector<const Item*> leaves;
  std::vector<size_t> leafFields;  // where each leaf's data entry offset goes
  std::vector<ResourceKey> types;
  for (auto& t : tree) types.push_back(t.first);
  header(dirs, types);
  size_t next = dirSize(typeCount);
  for (auto& t : tree) {
    PutU32(dirs, nameField(t.first));
    PutU32(dirs, kSubdirectory | uint32_t(next));
    next += dirSize(t.second.size());
  }
  // Name-level directories, then the language-level ones after all of them.
  for (auto& t : tree) {
    std::vector<ResourceKey> names;
    for (auto& n : t.second) names.push_back(n.first);
    header(dirs, names);
    for (auto& n : t.second) {
      PutU32(dirs, nameField(n.first));
      PutU32(dirs, kSubdirectory | uint32_t(next));
      next += dirSize(n.second.size());
    }
  }
  for (auto& t : tree)
    for (auto& n : t.second) {
      std::vector<ResourceKey> langs;
      for (auto& l : n.second) langs.push_back(ResourceKey::Id(l.first));
      header(dirs, langs);
      for (auto& l : n.second) {
        PutU32(dirs, l.first);
        leafFields.push_back(dirs.size());
        PutU32(dirs, 0);
        leaves.push_back(l.second);
      }
    }

  PadTo(strings, 4);
  const size_t entriesStart = directoriesSize + strings.size();
  const size_t dataStart = AlignUp(entriesStart + 16 * leafCount, 8);
  for (size_t k = 0; k < leafFields.size(); ++k) SetU32(dirs, leafFields[k], uint32_t(entriesStart + 16 * k));
  // Offsets, sizes and RVAs in the section are 32 bits wide.
  uint64_t end = uint64_t(sectionRva) + dataStart;
  for (const Item* leaf : leaves) end = AlignUp(end, 8) + leaf->data.size();
  if (end > 0xFFFFFFFFull)
    throw PackError("resources too large for a PE image (" + std::to_string(end - sectionRva) + " bytes)");
  for (const Item* leaf : leaves) {
    PadTo(data, 8);
    PutU32(dataEntries, uint32_t(sectionRva + dataStart + data.size()));
    PutU32(dataEntries, uint32_t(leaf->data.size()));
    PutU32(dataEntries, 0);  // code page
    PutU32(dataEntries, 0);
    data += leaf->data;
  }

  Bytes section = dirs + strings + dataEntries;
  section.resize(dataStart, '\0');
  section += data;
  return section;
}

}  // namespace quillpack
