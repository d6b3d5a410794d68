#include "payloadcheck.h"

#include <locale.h>
#include <wctype.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>

#include "itemname.h"
#include "lzma/7z.h"
#include "lzma/7zCrc.h"
#include "stopsignal.h"
#include "utf16.h"

namespace quillpack {
namespace {

// Windows refuses these in file names; the archiver on this side does not.
const char kForbidden[] = "<>:\"|?*\\";

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// For messages only: UTF-16 units as UTF-8, unpaired surrogates as '?'.
std::string Narrow(const std::u16string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
      c = '?';
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

// Upper case as NTFS compares names (whole Unicode, not only ASCII).
std::u16string Folded(const std::u16string& s) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  std::u16string out = s;
  for (char16_t& c : out) c = char16_t(utf8 ? towupper_l(wint_t(c), utf8) : std::towupper(wint_t(c)));
  return out;
}

struct MemoryStream {
  ISeekInStream vt;  // first: the decoder passes its address back
  const Byte* data;
  size_t size;
  size_t pos;

  static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    auto* self = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    const size_t left = self->pos < self->size ? self->size - self->pos : 0;
    const size_t n = *size < left ? *size : left;
    if (n) std::memcpy(buf, self->data + self->pos, n);
    self->pos += n;
    *size = n;
    return SZ_OK;
  }
  static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    auto* self = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    const Int64 base = origin == SZ_SEEK_SET ? 0 : origin == SZ_SEEK_CUR ? Int64(self->pos) : Int64(self->size);
    if (*pos < -base) return SZ_ERROR_PARAM;
    self->pos = size_t(base + *pos);
    *pos = Int64(self->pos);
    return SZ_OK;
  }
};

void* Alloc(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void Free(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kAlloc = {Alloc, Free};

std::string Verdict(SRes res) {
  switch (res) {
    case SZ_ERROR_UNSUPPORTED: return "it uses a method or a chain of filters the installer's decoder does not unpack";
    case SZ_ERROR_CRC: return "a CRC does not match";
    case SZ_ERROR_MEM: return "the decoder ran out of memory";
    case SZ_ERROR_NO_ARCHIVE: return "it is not a 7z archive";
    case SZ_ERROR_ARCHIVE:
    case SZ_ERROR_DATA: return "the archive is damaged";
    default: return "the decoder fails with code " + std::to_string(res);
  }
}

// The archive's state for the decoder, freed on every way out.
struct Opened {
  CSzArEx db;
  MemoryStream mem{};
  CLookToRead2 look{};
  Byte lookBuffer[1 << 14];
  Byte* block = nullptr;
  size_t blockSize = 0;
  UInt32 blockIndex = 0xFFFFFFFF;

  Opened() { SzArEx_Init(&db); }
  ~Opened() {
    std::free(block);
    SzArEx_Free(&db, &kAlloc);
  }
};

// 7z method ids (7zDec.c) as 7zz names them.
std::string MethodName(UInt32 id) {
  switch (id) {
    case 0: return "Copy";
    case 0x21: return "LZMA2";
    case 0x30101: return "LZMA";
    case 0x303011B: return "BCJ2";
    case 0x3030103: return "BCJ";
    case 0x3030205: return "PPC";
    case 0x3030401: return "IA64";
    case 0x3030501: return "ARM";
    case 0x3030701: return "ARMT";
    case 0x3030805: return "SPARC";
    case 0xa: return "ARM64";
    case 0xb: return "RISCV";
    case 3: return "Delta";
    default: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%X", unsigned(id));
      return hex;
    }
  }
}

// A coder, then the coders feeding its inputs in input order: how 7zz
// lists a block's method ("BCJ2 LZMA2 LZMA LZMA").
std::string ChainName(const CSzFolder& f, UInt32 coder, int depth = 0) {
  std::string name = MethodName(f.Coders[coder].MethodID);
  UInt32 firstIn = 0;
  for (UInt32 c = 0; c < coder; ++c) firstIn += f.Coders[c].NumStreams;
  for (UInt32 in = firstIn; depth < 4 && in < firstIn + f.Coders[coder].NumStreams; ++in)
    for (UInt32 b = 0; b < f.NumBonds; ++b)
      if (f.Bonds[b].InIndex == in) name += " " + ChainName(f, f.Bonds[b].OutIndex, depth + 1);
  return name;
}

}  // namespace

void CheckPayloadNames(const std::vector<FolderEntry>& entries, const std::string& folder) {
  std::map<std::u16string, std::string> folded;
  for (const FolderEntry& e : entries) {
    const std::string shown = folder + "/" + e.relative;
    std::u16string name;
    if (!Utf8ToUtf16(e.relative, name)) throw PackError(shown + ": the name is not valid UTF-8; rename it");
    for (char16_t c : name)
      if (c < 0x20 || (c < 0x80 && std::strchr(kForbidden, char(c))))
        throw PackError(shown + ": the name holds a character Windows does not allow in file names (" +
                        (c < 0x20 ? "a control character" : "'" + std::string(1, char(c)) + "'") + "); rename it");
    if (!brix::IsContainedItemName(Wide(name).c_str()))
      throw PackError(shown + ": the installer refuses this name (a device name such as CON or NUL, or a part "
                              "made only of dots and blanks); rename it");
    if (name.back() == u'.' || name.back() == u' ')
      throw PackError(shown + ": the name ends in a dot or a blank, which Windows drops; rename it");
    const auto added = folded.emplace(Folded(name), e.relative);
    if (!added.second)
      throw PackError(shown + ": differs from " + folder + "/" + added.first->second +
                      " only in case; Windows keeps one of the two");
  }
}

PayloadChains CheckPayloadArchive(const Bytes& archive, const std::vector<FolderEntry>& entries,
                                  const std::string& folder) {
  CrcGenerateTable();
  Opened x;
  x.mem.vt.Read = MemoryStream::Read;
  x.mem.vt.Seek = MemoryStream::Seek;
  x.mem.data = reinterpret_cast<const Byte*>(archive.data());
  x.mem.size = archive.size();
  LookToRead2_CreateVTable(&x.look, False);
  x.look.buf = x.lookBuffer;
  x.look.bufSize = sizeof x.lookBuffer;
  x.look.realStream = &x.mem.vt;
  LookToRead2_INIT(&x.look);
  const std::string fault = "the payload archive 7zz made for " + folder + " cannot be unpacked by the installer: ";
  const SRes opened = SzArEx_Open(&x.db, &x.look.vt, &kAlloc, &kAlloc);
  if (opened != SZ_OK) throw PackError(fault + Verdict(opened));

  // Keyed by the UTF-16 name the installer gets, "/" between parts.
  std::map<std::u16string, const FolderEntry*> expected;
  for (const FolderEntry& e : entries) {
    std::u16string w;
    Utf8ToUtf16(e.relative, w);  // checked by CheckPayloadNames
    expected[w] = &e;
  }
  std::u16string name;
  for (UInt32 i = 0; i < x.db.NumFiles; ++i) {
    ThrowIfStopped();
    name.resize(SzArEx_GetFileNameUtf16(&x.db, i, nullptr));
    if (!name.empty()) SzArEx_GetFileNameUtf16(&x.db, i, reinterpret_cast<UInt16*>(&name[0]));
    if (!name.empty() && name.back() == u'\0') name.pop_back();
    for (char16_t& c : name)
      if (c == u'\\') c = u'/';
    const auto found = expected.find(name);
    if (found == expected.end())
      throw PackError(fault + "item " + std::to_string(i + 1) + " (" + Narrow(name) + ") is not in the folder");
    const FolderEntry& e = *found->second;
    const std::string& shown = e.relative;
    const bool isDir = SzArEx_IsDir(&x.db, i);
    if (isDir != e.folder) throw PackError(fault + shown + " changed between file and folder");
    if (!isDir) {
      size_t offset = 0, size = 0;
      const SRes res = SzArEx_Extract(&x.db, &x.look.vt, i, &x.blockIndex, &x.block, &x.blockSize, &offset, &size,
                                      &kAlloc, &kAlloc);
      if (res != SZ_OK) throw PackError(fault + shown + ": " + Verdict(res));
      if (size != e.size)
        throw PackError(fault + shown + " unpacks to " + std::to_string(size) + " bytes, the file has " +
                        std::to_string(e.size));
    }
    expected.erase(found);
  }
  if (!expected.empty())
    throw PackError(fault + "it leaves out " + folder + "/" + expected.begin()->second->relative +
                    (expected.size() > 1 ? " and " + std::to_string(expected.size() - 1) + " more" : std::string()));

  // Every block was decoded above, so its coder list parses.
  PayloadChains chains;
  const CSzAr& ar = x.db.db;
  for (UInt32 f = 0; f < ar.NumFolders; ++f) {
    CSzFolder folderInfo;
    CSzData sd;
    sd.Data = ar.CodersData + ar.FoCodersOffsets[f];
    sd.Size = ar.FoCodersOffsets[f + 1] - ar.FoCodersOffsets[f];
    if (SzGetNextFolderItem(&folderInfo, &sd) != SZ_OK || folderInfo.UnpackStream >= folderInfo.NumCoders)
      throw PackError(fault + "block " + std::to_string(f + 1) + ": " + Verdict(SZ_ERROR_ARCHIVE));
    ++chains[ChainName(folderInfo, folderInfo.UnpackStream)];
  }
  return chains;
}

}  // namespace quillpack
