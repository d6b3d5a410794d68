// The installer's archive reader over a 7z archive in memory: the LZMA
// SDK's C decoder opens it, every item name goes through the item-name
// check, and the items are taken through DecodeAhead in archive order, a
// piece at a time, as ExtractArchive does (names refused there are passed
// over, as at a script's "skip"); the chains the packer makes are streamed
// (FolderStream), the others decoded whole. What comes out is held against
// the SDK's own whole-block decoding: the same bytes for every item it
// decodes, and no failure where it finds none. With two or more solid
// blocks the archive is read again on two helper threads, which must give
// the same bytes and the same verdicts.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decodeahead.h"
#include "folderstream.h"
#include "fuzzsupport.h"
#include "itemname.h"
#include "lzma/7z.h"
#include "lzma/7zCrc.h"

namespace {

// The decoder sizes its buffers from the archive's own numbers; the
// installer's malloc fails past what the process can get, and the decoder
// reports SZ_ERROR_MEM. The same, at a bound a fuzzing run can afford.
constexpr size_t kMaxAllocation = size_t(32) << 20;
void* Alloc(ISzAllocPtr, size_t size) { return size && size <= kMaxAllocation ? std::malloc(size) : nullptr; }
void Free(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kAlloc = {Alloc, Free};

// The installer's MemorySource, arithmetic included.
struct MemoryStream {
  ISeekInStream vt;
  const Byte* data;
  size_t size;
  UInt64 pos = 0;

  MemoryStream(const Byte* d, size_t n) : data(d), size(n) {
    vt.Read = Read;
    vt.Seek = Seek;
  }
  static SRes Read(ISeekInStreamPtr p, void* buf, size_t* size) {
    auto* self = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    const UInt64 left = self->pos < self->size ? self->size - self->pos : 0;
    const size_t n = *size < left ? *size : static_cast<size_t>(left);
    if (n) std::memcpy(buf, self->data + self->pos, n);
    self->pos += n;
    *size = n;
    return SZ_OK;
  }
  static SRes Seek(ISeekInStreamPtr p, Int64* pos, ESzSeek origin) {
    auto* self = reinterpret_cast<MemoryStream*>(const_cast<ISeekInStream*>(p));
    Int64 base;
    switch (origin) {
      case SZ_SEEK_SET: base = 0; break;
      case SZ_SEEK_CUR: base = static_cast<Int64>(self->pos); break;
      case SZ_SEEK_END: base = static_cast<Int64>(self->size); break;
      default: return SZ_ERROR_PARAM;
    }
    const Int64 target = base + *pos;
    if (target < 0) return SZ_ERROR_PARAM;
    self->pos = static_cast<UInt64>(target);
    *pos = target;
    return SZ_OK;
  }
};

struct Reader {
  MemoryStream mem;
  CLookToRead2 look;
  Byte buffer[1 << 14];

  Reader(const Byte* data, size_t size) : mem(data, size) {
    LookToRead2_CreateVTable(&look, True);
    look.buf = buffer;
    look.bufSize = sizeof buffer;
    look.realStream = &mem.vt;
    LookToRead2_INIT(&look);
  }
};

struct Item {
  SRes res = SZ_OK;
  std::string bytes;
  bool decoded = false;
};

// Every item as ExtractArchive meets it, piece by piece; stops at the first
// decoding error.
std::vector<Item> Extract(const CSzArEx* db, const std::vector<ILookInStreamPtr>& streams, bool threads,
                          const std::vector<bool>& refused) {
  std::vector<Item> items(db->NumFiles);
  brix::DecodeAhead ahead(db, streams, &kAlloc, threads);
  for (UInt32 i = 0; i < db->NumFiles; ++i) {
    ahead.Release(i);
    if (refused[i] || SzArEx_IsDir(db, i)) continue;
    items[i].decoded = true;
    for (bool last = false; !last;) {
      const Byte* data = nullptr;
      size_t size = 0;
      items[i].res = ahead.Next(i, &data, &size, &last);
      if (items[i].res != SZ_OK) break;
      FUZZ_CHECK(data != nullptr || size == 0);
      FUZZ_CHECK(items[i].bytes.size() + size <= SzArEx_GetFileSize(db, i));
      items[i].bytes.append(reinterpret_cast<const char*>(data), size);
    }
    if (items[i].res != SZ_OK) break;
    FUZZ_CHECK(items[i].bytes.size() == SzArEx_GetFileSize(db, i));
    if (SzBitWithVals_Check(&db->CRCs, i))
      FUZZ_CHECK(CrcCalc(items[i].bytes.data(), items[i].bytes.size()) == db->CRCs.Vals[i]);
  }
  return items;
}

// The SDK's whole-block decoding of every item with bytes; a block that
// failed once fails for all its items (its cache would hold half-decoded
// bytes).
std::vector<Item> Reference(const CSzArEx* db, ILookInStreamPtr stream) {
  std::vector<Item> items(db->NumFiles);
  std::vector<SRes> failed(db->db.NumFolders, SZ_OK);
  UInt32 blockIndex = 0xFFFFFFFF;
  Byte* block = nullptr;
  size_t blockSize = 0;
  for (UInt32 i = 0; i < db->NumFiles; ++i) {
    const UInt32 folder = db->FileToFolder[i];
    if (SzArEx_IsDir(db, i) || folder == 0xFFFFFFFF) continue;
    items[i].decoded = true;
    if (failed[folder] != SZ_OK) {
      items[i].res = failed[folder];
      continue;
    }
    size_t offset = 0, size = 0;
    items[i].res = SzArEx_Extract(db, stream, i, &blockIndex, &block, &blockSize, &offset, &size, &kAlloc, &kAlloc);
    if (items[i].res != SZ_OK)
      failed[folder] = items[i].res;
    else
      items[i].bytes.assign(reinterpret_cast<const char*>(block + offset), size);
  }
  ISzAlloc_Free(&kAlloc, block);
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  CrcGenerateTable();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader first(data, size);
  CSzArEx db;
  SzArEx_Init(&db);
  if (SzArEx_Open(&db, &first.look.vt, &kAlloc, &kAlloc) != SZ_OK) {
    SzArEx_Free(&db, &kAlloc);
    return 0;
  }

  std::vector<bool> refused(db.NumFiles);
  std::vector<UInt16> name16;
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    const size_t length = SzArEx_GetFileNameUtf16(&db, i, nullptr);
    name16.assign(length + 1, 0xFFFF);
    FUZZ_CHECK(SzArEx_GetFileNameUtf16(&db, i, name16.data()) == length);
    FUZZ_CHECK(length == 0 || name16[length - 1] == 0);  // terminated within its length
    FUZZ_CHECK(name16[length] == 0xFFFF);                 // and nothing written past it
    std::wstring name(name16.begin(), name16.begin() + length);
    name = name.substr(0, name.find(L'\0'));
    refused[i] = !brix::IsContainedItemName(name.c_str());
  }

  const std::vector<Item> once = Extract(&db, {&first.look.vt}, false, refused);
  {
    Reader own(data, size);
    const std::vector<Item> whole = Reference(&db, &own.look.vt);
    UInt32 firstFailure = db.NumFiles;
    for (UInt32 i = 0; i < db.NumFiles; ++i)
      if (whole[i].decoded && whole[i].res != SZ_OK && firstFailure == db.NumFiles) firstFailure = i;
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (!once[i].decoded) continue;
      // A failure the whole-block decoding has too, on this item or before.
      if (once[i].res != SZ_OK) FUZZ_CHECK(firstFailure <= i);
      if (once[i].res == SZ_OK && whole[i].decoded && whole[i].res == SZ_OK)
        FUZZ_CHECK(once[i].bytes == whole[i].bytes);
    }
  }
  if (db.db.NumFolders >= 2) {
    Reader second(data, size);
    // The first stream again, from wherever the first pass left it.
    const std::vector<Item> twice = Extract(&db, {&first.look.vt, &second.look.vt}, true, refused);
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (!once[i].decoded || !twice[i].decoded) continue;
      FUZZ_CHECK(once[i].res == twice[i].res);
      FUZZ_CHECK(once[i].bytes == twice[i].bytes);
    }
  }
  SzArEx_Free(&db, &kAlloc);
  return 0;
}
