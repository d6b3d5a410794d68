#include "skinarchive.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "uidiag.h"

namespace brixui {
namespace {

constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kLocalSig = 0x04034b50;

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Traditional PKWARE stream cipher.
class ZipCrypto {
 public:
  explicit ZipCrypto(const std::string& password) {
    for (unsigned char c : password) Update(c);
  }
  uint8_t Decrypt(uint8_t c) {
    const uint32_t t = (keys_[2] & 0xffff) | 2;
    const uint8_t plain = c ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    Update(plain);
    return plain;
  }

 private:
  static uint32_t Crc(uint32_t crc, uint8_t b) {
    // One byte of the CRC-32 register, as zlib's crc32 computes it.
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    return crc;
  }
  void Update(uint8_t c) {
    keys_[0] = Crc(keys_[0], c);
    keys_[1] = (keys_[1] + (keys_[0] & 0xff)) * 134775813u + 1;
    keys_[2] = Crc(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

}  // namespace

std::string NormaliseEntryName(const std::string& name) {
  std::string k = name;
  for (char& c : k) {
    if (c == '\\') c = '/';
    else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  while (!k.empty() && k[0] == '/') k.erase(0, 1);
  return k;
}

bool SkinArchive::Fail(const std::string& entry, const std::string& what) const {
  Diag(entry.empty() ? label_ : label_ + ":" + entry, what);
  return false;
}

bool SkinArchive::Open(const void* data, size_t size, const std::string& password,
                       const std::string& label) {
  data_ = nullptr;
  entries_.clear();
  label_ = label;
  password_ = password;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  if (!p || size < 22) return Fail("", "not a ZIP archive (too short)");

  // The end record sits in the last 22 + 65535 bytes.
  size_t end = SIZE_MAX;
  const size_t lowest = size > 22 + 65535 ? size - 22 - 65535 : 0;
  for (size_t i = size - 22 + 1; i-- > lowest;) {
    if (Get32(p + i) == kEndSig && i + 22 + Get16(p + i + 20) <= size) {
      end = i;
      break;
    }
  }
  if (end == SIZE_MAX) return Fail("", "not a ZIP archive (no end record)");
  const uint16_t disk = Get16(p + end + 4);
  const uint16_t count = Get16(p + end + 10);
  const uint32_t dirSize = Get32(p + end + 12);
  const uint32_t dirOffset = Get32(p + end + 16);
  if (disk != 0 || Get16(p + end + 6) != 0) return Fail("", "multi-part archives are not supported");
  if (dirOffset == 0xffffffffu || count == 0xffff) return Fail("", "ZIP64 archives are not supported");
  if (static_cast<uint64_t>(dirOffset) + dirSize > end) return Fail("", "central directory lies outside the archive");

  uint64_t total = 0;
  size_t pos = dirOffset;
  const size_t dirEnd = static_cast<size_t>(dirOffset) + dirSize;
  for (uint16_t n = 0; n < count; ++n) {
    if (pos + 46 > dirEnd || Get32(p + pos) != kCentralSig)
      return Fail("", "central directory entry " + std::to_string(n) + " is damaged");
    Entry e;
    e.flags = Get16(p + pos + 8);
    e.method = Get16(p + pos + 10);
    e.modTime = Get16(p + pos + 12);
    e.crc = Get32(p + pos + 16);
    e.packedSize = Get32(p + pos + 20);
    e.size = Get32(p + pos + 24);
    const uint16_t nameLen = Get16(p + pos + 28);
    const uint16_t extraLen = Get16(p + pos + 30);
    const uint16_t commentLen = Get16(p + pos + 32);
    e.localOffset = Get32(p + pos + 42);
    const size_t next = pos + 46 + nameLen + extraLen + commentLen;
    if (next > dirEnd) return Fail("", "central directory entry " + std::to_string(n) + " runs past the directory");
    e.name.assign(reinterpret_cast<const char*>(p + pos + 46), nameLen);
    pos = next;
    if (e.name.empty() || e.name.back() == '/') continue;  // folders
    if (e.packedSize == 0xffffffffu || e.size == 0xffffffffu || e.localOffset == 0xffffffffu)
      return Fail(e.name, "ZIP64 entries are not supported");
    e.key = NormaliseEntryName(e.name);
    total += e.size;
    entries_.push_back(std::move(e));
  }
  if (total > kMaxTotalBytes)
    return Fail("", "entries declare " + std::to_string(total) + " bytes in all, more than the limit of " +
                        std::to_string(kMaxTotalBytes) + " (refused)");
  data_ = p;
  size_ = size;
  return true;
}

std::vector<std::string> SkinArchive::Names() const {
  std::vector<std::string> names;
  for (const auto& e : entries_) names.push_back(e.name);
  return names;
}

const SkinArchive::Entry* SkinArchive::Find(const std::string& name) const {
  const std::string key = NormaliseEntryName(name);
  for (const auto& e : entries_)
    if (e.key == key) return &e;
  return nullptr;
}

bool SkinArchive::Contains(const std::string& name) const { return Find(name) != nullptr; }

bool SkinArchive::Read(const std::string& name, std::vector<uint8_t>& out) const {
  out.clear();
  if (!data_) return Fail(name, "no archive is open");
  const Entry* e = Find(name);
  if (!e) return Fail(name, "no such entry in the archive");
  if (e->size > kMaxEntryBytes)
    return Fail(e->name, "declared size " + std::to_string(e->size) + " is over the entry limit of " +
                             std::to_string(kMaxEntryBytes) + " bytes (refused)");
  if (e->localOffset + 30 > size_ || Get32(data_ + e->localOffset) != kLocalSig)
    return Fail(e->name, "local header is missing or outside the archive");
  const size_t lh = static_cast<size_t>(e->localOffset);
  const uint64_t dataStart = static_cast<uint64_t>(lh) + 30 + Get16(data_ + lh + 26) + Get16(data_ + lh + 28);
  if (dataStart + e->packedSize > size_) return Fail(e->name, "entry data runs past the end of the archive (truncated?)");
  const uint8_t* src = data_ + dataStart;
  size_t srcLen = static_cast<size_t>(e->packedSize);

  std::vector<uint8_t> decrypted;
  if (e->flags & 1) {
    if (e->method == 99) return Fail(e->name, "AES-encrypted entries are not supported");
    if (password_.empty()) return Fail(e->name, "entry is encrypted and no password was given");
    if (srcLen < 12) return Fail(e->name, "encrypted entry is too short");
    ZipCrypto crypto(password_);
    decrypted.resize(srcLen);
    for (size_t i = 0; i < srcLen; ++i) decrypted[i] = crypto.Decrypt(src[i]);
    // The last header byte repeats the CRC's (or, with a data descriptor,
    // the time's) high byte: a quick wrong-password check.
    const uint8_t check = (e->flags & 8) ? static_cast<uint8_t>(e->modTime >> 8) : static_cast<uint8_t>(e->crc >> 24);
    if (decrypted[11] != check) return Fail(e->name, "wrong password for the encrypted entry");
    src = decrypted.data() + 12;
    srcLen -= 12;
  }

  if (e->method == 0) {
    if (srcLen != e->size) return Fail(e->name, "stored entry's sizes disagree");
    out.assign(src, src + srcLen);
  } else if (e->method == 8) {
    out.resize(static_cast<size_t>(e->size));
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) return Fail(e->name, "inflate could not start");
    size_t produced = 0;
    int rc = Z_OK;
    const uint8_t* in = src;
    size_t inLeft = srcLen;
    uint8_t spill[256];
    // Inflate into the declared size; any byte beyond it is an error, so
    // the output never grows past the declared (and limited) size.
    while (rc == Z_OK) {
      const size_t chunkIn = std::min<size_t>(inLeft, 1u << 30);
      zs.next_in = const_cast<Bytef*>(in);
      zs.avail_in = static_cast<uInt>(chunkIn);
      if (produced < out.size()) {
        zs.next_out = out.data() + produced;
        zs.avail_out = static_cast<uInt>(std::min<size_t>(out.size() - produced, 1u << 30));
      } else {
        zs.next_out = spill;
        zs.avail_out = sizeof spill;
      }
      const uInt outBefore = zs.avail_out;
      const bool toSpill = produced >= out.size();
      rc = inflate(&zs, Z_NO_FLUSH);
      const size_t got = outBefore - zs.avail_out;
      in += chunkIn - zs.avail_in;
      inLeft -= chunkIn - zs.avail_in;
      if (toSpill && got > 0) {
        inflateEnd(&zs);
        out.clear();
        return Fail(e->name, "inflates to more than its declared size of " + std::to_string(e->size) + " bytes (refused)");
      }
      produced += got;
      if (rc == Z_BUF_ERROR && inLeft == 0) break;
      if (rc == Z_OK && got == 0 && chunkIn - zs.avail_in == 0) break;
    }
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
      out.clear();
      return Fail(e->name, rc == Z_DATA_ERROR ? "deflate data is corrupt" : "deflate data ends early (truncated?)");
    }
    if (produced != e->size) {
      out.clear();
      return Fail(e->name, "inflates to " + std::to_string(produced) + " bytes, " + std::to_string(e->size) + " declared");
    }
  } else {
    return Fail(e->name, "compression method " + std::to_string(e->method) + " is not supported");
  }

  const uint32_t crc = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), out.data(), static_cast<uInt>(out.size())));
  if (crc != e->crc) {
    out.clear();
    return Fail(e->name, "CRC mismatch (damaged entry)");
  }
  return true;
}

}  // namespace brixui
