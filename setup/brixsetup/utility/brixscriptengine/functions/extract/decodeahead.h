#pragma once
// Decodes the solid blocks of an opened archive on helper threads, ahead of
// the thread that writes the files, so that writing (slow per file, above
// all under Wine) overlaps decoding. Blocks are taken in archive order; at
// most one more block than there are threads is held in memory. File
// operations and script callbacks stay on the caller's thread.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lzma/7z.h"

namespace brix {

class DecodeAhead {
 public:
  // One helper thread per stream; all read the archive `db` was opened
  // from, each with its own position. None of them, nor `db`, is touched by
  // the caller until this object is gone. Without threads (none could be
  // started, or `threads` is false) Get decodes with the first stream.
  DecodeAhead(const CSzArEx* db, const std::vector<ILookInStreamPtr>& streams, ISzAllocPtr alloc,
              bool threads = true);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // The bytes of file item i (asked for in archive order), valid until
  // Release passes i; or the first decoding error of an item up to i, items
  // passed over included, whichever thread found it.
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
  struct Worker {
    ILookInStreamPtr stream;
    UInt32 blockIndex = 0xFFFFFFFF;  // the decoder's cache of one block
    Byte* buffer = nullptr;
    size_t bufferSize = 0;
    std::thread thread;
  };
  struct Block {
    Byte* buffer;
    UInt32 end;  // first item after the block
  };

  void Run(Worker* w);
  // Decodes block `folder` and publishes its items; false on an error.
  bool DecodeBlock(Worker* w, UInt32 folder, std::unique_lock<std::mutex>& lock);
  void FreeBlocksBefore(UInt32 item);
  void Publish(UInt32 item, const Slot& slot);

  const CSzArEx* db_;
  ISzAllocPtr alloc_;
  std::vector<Slot> slots_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<Block> done_;  // decoded blocks the writer may still read
  UInt32 nextBlock_ = 0;
  unsigned held_ = 0;  // blocks being decoded or not yet released
  unsigned maxHeld_ = 2;
  unsigned running_ = 0;
  UInt32 released_ = 0;
  UInt32 settled_ = 0;  // items before this one are all ready
  UInt32 firstError_ = 0xFFFFFFFF;  // the earliest item that failed
  SRes error_ = SZ_OK;  // its error; no block is begun after one
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace brix
