#pragma once
// Decodes the file items of an opened archive on a helper thread, up to one
// solid block ahead of the thread that writes the files, so that writing
// (slow per file, above all under Wine) overlaps decoding. Everything else,
// file operations and script callbacks included, stays on the caller's thread.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "lzma/7z.h"

namespace brix {

class DecodeAhead {
 public:
  // `db` is open on `stream`; neither is touched by the caller until this
  // object is gone.
  DecodeAhead(const CSzArEx* db, ILookInStreamPtr stream, ISzAllocPtr alloc);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // The bytes of file item i (items are asked for in archive order), valid
  // until Release passes i; or the decoder's error for this item.
  SRes Get(UInt32 item, const Byte** data, size_t* size);
  // The caller is done with every item before `item`.
  void Release(UInt32 item);

 private:
  struct Slot {
    bool ready = false;
    SRes res = SZ_OK;
    const Byte* data = nullptr;
    size_t size = 0;
  };
  struct Block {
    Byte* buffer;
    UInt32 end;  // first item after the block
  };

  void Run();
  // Decodes item i; false when decoding ends (error or stop).
  bool Step(UInt32 item, std::unique_lock<std::mutex>& lock);
  void FreeBlocksBefore(UInt32 item);

  const CSzArEx* db_;
  ILookInStreamPtr stream_;
  ISzAllocPtr alloc_;
  std::vector<Slot> slots_;
  std::vector<Block> detached_;  // decoded blocks the writer may still read
  UInt32 blockIndex_ = 0xFFFFFFFF;
  Byte* buffer_ = nullptr;  // the block the decoder holds
  size_t bufferSize_ = 0;
  UInt32 next_ = 0;  // next item to decode
  UInt32 released_ = 0;
  bool stop_ = false;
  bool ended_ = false;  // the decoder has nothing more to give
  SRes endRes_ = SZ_OK;  // why it ended early
  bool threaded_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace brix
