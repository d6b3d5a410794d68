#pragma once
// One solid block decoded front to back in pieces, for the coder chains the
// packer makes: LZMA or LZMA2, alone or behind the x86 branch filter (BCJ).
// It holds the decoder's window (the dictionary, never more than the block)
// instead of the whole block; other chains are decoded whole elsewhere.
// Plain C++ over the LZMA SDK, so the fuzz target runs it natively.
#include <cstddef>

#include "lzma/7z.h"
#include "lzma/Lzma2Dec.h"
#include "lzma/LzmaDec.h"

namespace brix {

class FolderStream {
 public:
  // True when block `folder` of `db` is such a chain; `window` is then the
  // bytes its decoder holds (0 when its properties are unusable, which the
  // first Read reports).
  static bool Handles(const CSzArEx* db, UInt32 folder, size_t* window);

  // Reads the packed bytes from `stream` (positioned by the first Read).
  FolderStream(const CSzArEx* db, UInt32 folder, ILookInStreamPtr stream, ISzAllocPtr alloc);
  ~FolderStream();
  FolderStream(const FolderStream&) = delete;
  FolderStream& operator=(const FolderStream&) = delete;

  // The next bytes of the block, at most `capacity` (at least 16), into
  // `out`. *size is 0 once the block is complete: its packed stream ended
  // where it should and its stored CRC, if any, matched. The bytes that end
  // the block come only after those checks. An error stays: every later
  // call returns it.
  SRes Read(Byte* out, size_t capacity, size_t* size);

 private:
  SRes Start();
  // One call of the decoder for at most `want` more bytes, as the SDK's
  // whole-block loop (7zDec.c) makes it, with the same end checks.
  SRes Step(Byte* out, size_t want, size_t* got);
  SRes Fail(SRes res) { return error_ = res; }

  const CSzArEx* db_;
  UInt32 folder_;
  ILookInStreamPtr stream_;
  ISzAllocPtr alloc_;

  bool isLzma2_ = false;
  bool filter_ = false;
  CLzmaDec lzma_;
  CLzma2Dec lzma2_;
  CLzmaDec* dec_ = nullptr;  // lzma_, or lzma2_'s inner decoder
  Byte* window_ = nullptr;

  bool started_ = false;
  bool ended_ = false;      // the packed stream ended as it should
  SRes error_ = SZ_OK;
  UInt64 total_ = 0;        // the block's size
  UInt64 coded_ = 0;        // bytes the decoder gave so far
  UInt64 packLeft_ = 0;     // packed bytes not yet taken by the decoder
  UInt32 crc_;              // of the bytes handed out
  // The filter converts a call instruction only with the four bytes after
  // it in hand: up to four bytes wait for the next piece.
  UInt32 filterState_;
  UInt32 filterPc_ = 0;
  Byte held_[4];
  size_t heldSize_ = 0;
};

}  // namespace brix
