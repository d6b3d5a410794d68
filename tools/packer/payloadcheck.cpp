#include "payloadcheck.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <locale.h>
#include <wctype.h>
#endif

#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <map>

#include "decodeahead.h"
#include "folderstream.h"
#include "itemname.h"
#include "lzma/7z.h"
#include "lzma/7zCrc.h"
#include "progress.h"
#include "stopsignal.h"
#include "utf16.h"

namespace quillpack {
namespace {

// Windows refuses these in file names; the archiver on this side does not.
const char kForbidden[] = "<>:\"|?*\\";

std::wstring Wide(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }

// For messages only.
std::string Narrow(const std::u16string& s) { return Utf16ToUtf8(s); }

// Upper case as NTFS compares names (whole Unicode, not only ASCII).
std::u16string Folded(const std::u16string& s) {
  std::u16string out = s;
#ifdef _WIN32
  if (!out.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(&out[0]), DWORD(out.size()));
#else
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  for (char16_t& c : out) c = char16_t(utf8 ? towupper_l(wint_t(c), utf8) : std::towupper(wint_t(c)));
#endif
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

  Opened() { SzArEx_Init(&db); }
  ~Opened() { SzArEx_Free(&db, &kAlloc); }
};

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

void CheckPayloadArchive(const Bytes& archive, const std::vector<FolderEntry>& entries, const std::string& folder,
                         Progress* progress) {
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
  const std::string fault = "the archive written for " + folder + " cannot be unpacked by the installer: ";
  const SRes opened = SzArEx_Open(&x.db, &x.look.vt, &kAlloc, &kAlloc);
  if (opened != SZ_OK) throw PackError(fault + Verdict(opened));
  for (UInt32 f = 0; f < x.db.db.NumFolders; ++f) {
    size_t window = 0;
    if (!brix::FolderStream::Handles(&x.db, f, &window))
      throw PackError(fault + "block " + std::to_string(f + 1) + " is not one the installer decodes as a stream");
  }

  // Keyed by the UTF-16 name the installer gets, "/" between parts.
  std::map<std::u16string, const FolderEntry*> expected;
  for (const FolderEntry& e : entries) {
    std::u16string w;
    Utf8ToUtf16(e.relative, w);  // checked by CheckPayloadNames
    expected[w] = &e;
  }
  // As the installer takes the items: in order, each block decoded as a
  // stream in bounded memory, each file's CRC checked on its last piece.
  brix::DecodeAhead decoder(&x.db, {&x.look.vt}, &kAlloc, false);
  std::u16string name;
  for (UInt32 i = 0; i < x.db.NumFiles; ++i) {
    ThrowIfStopped();
    decoder.Release(i);
    name.resize(SzArEx_GetFileNameUtf16(&x.db, i, nullptr));
    if (!name.empty()) SzArEx_GetFileNameUtf16(&x.db, i, reinterpret_cast<UInt16*>(&name[0]));
    if (!name.empty() && name.back() == u'\0') name.pop_back();
    const auto found = expected.find(name);
    if (found == expected.end())
      throw PackError(fault + "item " + std::to_string(i + 1) + " (" + Narrow(name) + ") is not in the folder");
    const FolderEntry& e = *found->second;
    const std::string& shown = e.relative;
    const bool isDir = SzArEx_IsDir(&x.db, i);
    if (isDir != e.folder) throw PackError(fault + shown + " changed between file and folder");
    if (!isDir) {
      uint64_t size = 0;
      for (bool last = false; !last;) {
        const Byte* data = nullptr;
        size_t piece = 0;
        const SRes res = decoder.Next(i, &data, &piece, &last);
        if (res != SZ_OK) throw PackError(fault + shown + ": " + Verdict(res));
        size += piece;
        if (progress) progress->Add(piece);
      }
      if (size != e.size)
        throw PackError(fault + shown + " unpacks to " + std::to_string(size) + " bytes, the file has " +
                        std::to_string(e.size));
    }
    expected.erase(found);
  }
  if (!expected.empty())
    throw PackError(fault + "it leaves out " + folder + "/" + expected.begin()->second->relative +
                    (expected.size() > 1 ? " and " + std::to_string(expected.size() - 1) + " more" : std::string()));
}

}  // namespace quillpack
