#pragma once
// A test archive opened from memory with the SDK's reader, as ExtractArchive
// opens one, with two independent readers (two decoding threads).
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "functions/extract/archivesource.h"
#include "lzma/7z.h"
#include "lzma/7zCrc.h"

namespace extracttest {

inline void* PlainAlloc(ISzAllocPtr, size_t n) { return n ? std::malloc(n) : nullptr; }
inline void PlainFree(ISzAllocPtr, void* p) { std::free(p); }
const ISzAlloc kAlloc = {PlainAlloc, PlainFree};

struct OpenedArchive {
  struct Reader {
    brix::MemorySource source;
    CLookToRead2 look;
    Byte buffer[1 << 14];
    explicit Reader(const std::string& bytes) : source(reinterpret_cast<const Byte*>(bytes.data()), bytes.size()) {
      LookToRead2_CreateVTable(&look, True);
      look.buf = buffer;
      look.bufSize = sizeof buffer;
      look.realStream = source.Stream();
      LookToRead2_INIT(&look);
    }
  };
  explicit OpenedArchive(std::string archive) : bytes(std::move(archive)), a(bytes), b(bytes) {
    CrcGenerateTable();
    SzArEx_Init(&db);
    opened = SzArEx_Open(&db, &a.look.vt, &kAlloc, &kAlloc);
  }
  ~OpenedArchive() { SzArEx_Free(&db, &kAlloc); }
  std::vector<ILookInStreamPtr> Streams() { return {&a.look.vt, &b.look.vt}; }
  UInt32 Find(const std::wstring& name) const {
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      std::vector<UInt16> n(SzArEx_GetFileNameUtf16(&db, i, nullptr));
      SzArEx_GetFileNameUtf16(&db, i, n.data());
      if (std::wstring(n.begin(), n.end() - 1) == name) return i;
    }
    ADD_FAILURE() << "no item " << std::string(name.begin(), name.end());
    return 0;
  }
  std::string bytes;
  Reader a, b;
  CSzArEx db;
  SRes opened;
};

}  // namespace extracttest
