#include "sevenzipwriter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <tuple>

#include "files.h"
#include "sevenzipheader.h"
#include "utf16.h"

namespace quillpack {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// (extension, file name, path), ASCII letters folded in the first two.
std::tuple<std::string, std::string, const std::string&> TypeKey(const std::string& name) {
  const size_t slash = name.rfind('/');
  const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  const size_t dot = base.rfind('.');
  const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : base.substr(dot + 1);
  return std::tuple<std::string, std::string, const std::string&>(Lower(extension), Lower(base), name);
}

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr size_t kPeLookLimit = 1 << 16;  // where a PE header may start for this test

}  // namespace

// A block's files one after the other, each read once, with its CRC and
// its size checked against the listing.
class SevenZipWriter::Reader : public BlockInput {
 public:
  explicit Reader(std::vector<Item*> items) : items_(std::move(items)) {}

  size_t Read(uint8_t* buffer, size_t size) override {
    size_t done = 0;
    while (done < size && index_ < items_.size()) {
      Item& item = *items_[index_];
      if (!item.inMemory && !file_) file_ = std::make_unique<InputFile>(item.path);
      const uint64_t left = item.size - position_;
      const size_t want = size - done < left ? size - done : size_t(left);
      size_t got;
      if (item.inMemory) {
        std::memcpy(buffer + done, item.data.data() + position_, want);
        got = want;
      } else {
        got = file_->Read(buffer + done, want);
      }
      if (got < want)
        throw PackError(item.path + ": changed while it was packed (listed with " + std::to_string(item.size) +
                        " bytes, it ended after " + std::to_string(position_ + got) + ")");
      crc_ = Crc32(buffer + done, got, crc_);
      position_ += got;
      done += got;
      if (position_ == item.size) {
        uint8_t more;
        if (file_ && file_->Read(&more, 1) != 0)
          throw PackError(item.path + ": changed while it was packed (listed with " + std::to_string(item.size) +
                          " bytes, it has more now)");
        file_.reset();
        item.crc = crc_;
        crc_ = 0;
        position_ = 0;
        ++index_;
      }
    }
    return done;
  }

 private:
  std::vector<Item*> items_;
  size_t index_ = 0;
  uint64_t position_ = 0;
  uint32_t crc_ = 0;
  std::unique_ptr<InputFile> file_;
};

void SevenZipWriter::Add(Item item) {
  if (!Utf8ToUtf16(item.name, item.wide) || item.wide.empty())
    throw PackError(item.name + ": not a name an archive can hold (empty or not UTF-8)");
  items_.push_back(std::move(item));
}

void SevenZipWriter::AddFolder(const std::string& name, std::optional<uint64_t> mtime) {
  Item item;
  item.name = name;
  item.folder = true;
  item.mtime = mtime;
  item.attributes = kAttributeFolder;
  Add(std::move(item));
}

void SevenZipWriter::AddFile(const std::string& name, const std::string& path, uint64_t size,
                             std::optional<uint64_t> mtime, bool readOnly) {
  Item item;
  item.name = name;
  item.path = path;
  item.size = size;
  item.mtime = mtime;
  item.attributes = kAttributeArchive | (readOnly ? kAttributeReadOnly : 0);
  Add(std::move(item));
}

void SevenZipWriter::AddBytes(const std::string& name, Bytes data, std::optional<uint64_t> mtime) {
  Item item;
  item.name = name;
  item.size = data.size();
  item.data = std::move(data);
  item.inMemory = true;
  item.mtime = mtime;
  item.attributes = kAttributeArchive;
  Add(std::move(item));
}

// An x86 or x64 PE image, by its headers: BCJ helps its code.
bool SevenZipWriter::IsX86Executable(const Item& item) const {
  if (item.size < 0x40) return false;
  Bytes head;
  auto readHead = [&](size_t n) {
    n = size_t(std::min<uint64_t>(n, item.size));
    if (item.inMemory) {
      head = item.data.substr(0, n);
    } else {
      head.resize(n);
      head.resize(InputFile(item.path).Read(&head[0], n));
    }
  };
  readHead(0x400);
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  const uint32_t pe = GetU32(head, 0x3C);
  if (pe > kPeLookLimit) return false;
  if (pe + 6 > head.size()) readHead(pe + 6);
  if (pe + 6 > head.size() || std::memcmp(head.data() + pe, "PE\0\0", 4) != 0) return false;
  const uint16_t machine = GetU16(head, pe + 4);
  return machine == kMachineI386 || machine == kMachineAmd64;
}

bool SevenZipWriter::Before(const Item& a, const Item& b) const {
  if (a.bcj != b.bcj) return b.bcj;  // plain blocks first
  if (settings_.sortByType) return TypeKey(a.name) < TypeKey(b.name);
  return a.name < b.name;
}

Bytes SevenZipWriter::Finish(Progress* progress) {
  if (items_.empty()) return BuildSignatureHeader(0, Bytes());

  std::vector<Item*> streamed, rest;
  for (Item& i : items_) {
    if (i.folder || i.size == 0) {
      rest.push_back(&i);
      continue;
    }
    i.bcj = settings_.filter == SevenZipSettings::Filter::kAll ||
            (settings_.filter == SevenZipSettings::Filter::kExecutables && IsX86Executable(i));
    streamed.push_back(&i);
  }
  std::sort(streamed.begin(), streamed.end(), [this](const Item* a, const Item* b) { return Before(*a, *b); });
  // Empty files, then folders, each by name.
  std::sort(rest.begin(), rest.end(), [](const Item* a, const Item* b) {
    return std::tie(a->folder, a->name) < std::tie(b->folder, b->name);
  });

  // Consecutive files of one chain fill a block up to the solid size.
  std::vector<std::vector<Item*>> groups;
  uint64_t groupBytes = 0;
  for (Item* i : streamed) {
    const bool fresh = groups.empty() || groups.back().front()->bcj != i->bcj || settings_.solidBytes == 0 ||
                       groupBytes + i->size > settings_.solidBytes;
    if (fresh) {
      groups.emplace_back();
      groupBytes = 0;
    }
    groups.back().push_back(i);
    groupBytes += i->size;
  }

  Bytes archive(32, '\0');  // the signature header, written last
  std::vector<HeaderBlock> blocks;
  uint64_t done = 0;
  for (const std::vector<Item*>& group : groups) {
    HeaderBlock block;
    uint64_t total = 0;
    for (const Item* i : group) total += i->size;
    Reader reader(group);
    const EncodedBlock encoded =
        EncodeBlock(settings_.coder, group.front()->bcj, total, reader, archive, progress, done);
    done += total;
    block.method = settings_.coder.lzma2 ? kMethodLzma2 : kMethodLzma;
    block.properties = encoded.properties;
    block.bcj = group.front()->bcj;
    block.packedSize = encoded.packedSize;
    for (const Item* i : group) {
      block.sizes.push_back(i->size);
      block.crcs.push_back(i->crc);
    }
    blocks.push_back(std::move(block));
  }

  std::vector<HeaderItem> listed;
  for (const std::vector<Item*>* part : {&streamed, &rest})
    for (const Item* i : *part) {
      HeaderItem h;
      h.name = i->wide;
      h.folder = i->folder;
      h.hasBytes = !i->folder && i->size != 0;
      h.mtime = i->mtime;
      h.attributes = i->attributes;
      listed.push_back(std::move(h));
    }
  const Bytes header = BuildHeader(blocks, listed);
  Bytes next = header;
  if (settings_.compressHeader) {
    const uint64_t position = archive.size() - 32;
    const EncodedBlock packed = EncodeHeader(header, archive);
    next = BuildEncodedHeader(position, packed.packedSize, packed.properties, header);
  }
  const uint64_t nextOffset = archive.size() - 32;
  archive += next;
  archive.replace(0, 32, BuildSignatureHeader(nextOffset, next));
  return archive;
}

}  // namespace quillpack
