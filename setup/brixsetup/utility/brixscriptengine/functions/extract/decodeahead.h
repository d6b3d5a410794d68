#pragma once
// Decodes the solid blocks of an opened archive on helper threads, ahead of
// the thread that writes the files, so that writing (slow per file, above
// all under Wine) overlaps decoding. Blocks are taken in archive order.
//
// A block of the chains the packer makes (see FolderStream) is decoded as a
// stream: its decoder holds its window and at most kPieces pieces of
// kPiece bytes that the writer takes as they come, never the whole block.
// Two such decoders run at once only while their windows together stay
// within kWindowBudget, so memory does not grow with the payload. Other
// blocks are decoded whole, as before: at most one more block than there
// are threads is held. File operations and script callbacks stay on the
// caller's thread.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "lzma/7z.h"

namespace brix {

class FolderStream;

class DecodeAhead {
 public:
  static constexpr size_t kPiece = size_t(1) << 20;
  static constexpr unsigned kPieces = 4;
  static constexpr size_t kWindowBudget = size_t(32) << 20;

  // One helper thread per stream; all read the archive `db` was opened
  // from, each with its own position. None of them, nor `db`, is touched by
  // the caller until this object is gone. Without threads (none could be
  // started, or `threads` is false) the calls below decode with the first
  // stream themselves.
  DecodeAhead(const CSzArEx* db, const std::vector<ILookInStreamPtr>& streams, ISzAllocPtr alloc,
              bool threads = true);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  // The next piece of file item `item`'s bytes (items asked for in archive
  // order; what is left of earlier ones is passed over). *last comes with
  // the item's final piece, once its CRC matched; an item without bytes is
  // one empty last piece. The bytes stay valid until the next call. On
  // failure, the first decoding error of an item up to this one, items
  // passed over included, whichever thread found it.
  SRes Next(UInt32 item, const Byte** data, size_t* size, bool* last);
  // The bytes of file item `item` whole (asked for in archive order), valid
  // until Release passes it or the next Get; errors as Next.
  SRes Get(UInt32 item, const Byte** data, size_t* size);
  // The caller is done with every item before `item`.
  void Release(UInt32 item);

 private:
  using Lock = std::unique_lock<std::mutex>;
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
  struct Piece {
    Byte* data;
    UInt64 start;  // offset in the block
    size_t size;
  };
  // A block being streamed. The fields marked "decoder's" are touched only
  // by the one thread decoding a piece (busy), without the lock.
  struct Flow {
    UInt32 folder = 0;
    UInt32 first = 0, end = 0;  // its items
    UInt64 base = 0;            // where its first item starts
    size_t pieceSize = 0;
    size_t window = 0;
    std::unique_ptr<FolderStream> decoder;  // gone once decoding is over
    std::vector<Byte*> spare;               // pieces to fill (null: not allocated yet)
    std::deque<Piece> ready;                // filled, in order
    UInt64 needed = 0;                      // the reader is done with what lies before
    bool decoding = true;
    bool busy = false;
    bool released = false;
    UInt64 produced = 0;           // decoder's
    UInt32 check = 0;              // decoder's: first item not yet checked
    UInt32 crc = 0;                // decoder's: of that item so far
    std::vector<UInt32> verified;  // decoder's: items a piece completed
  };

  void Run(Worker* w);
  // Decodes block `folder` whole and publishes its items; false on an error.
  bool DecodeBlock(Worker* w, UInt32 folder, Lock& lock);
  // Streams block `folder` as long as the reader takes its pieces.
  bool StreamBlock(Worker* w, UInt32 folder, Lock& lock);
  Flow* BeginFlow(ILookInStreamPtr stream, UInt32 folder);
  // Decodes one piece of `f`; false once its decoding is over (then `f` may
  // be gone), with *ok telling whether it failed.
  bool Pump(Flow* f, Lock& lock, bool* ok);
  SRes Check(Flow* f, const Byte* piece, size_t size);
  void Recycle(Flow* f);
  void Retire(Flow* f);
  // Caller without helper threads: decodes what comes next; false if
  // nothing can.
  bool Advance(Lock& lock);
  bool Progress(Lock& lock);
  SRes DecidedError(UInt32 item) const;
  SRes Whole(UInt32 item, const Byte** data, size_t* size, Lock& lock);
  bool Streamed(UInt32 item) const;
  bool WindowFits(UInt32 folder) const;
  void ReleaseLocked(UInt32 item);
  void DropFlowsBefore(UInt32 item);
  bool FreeBlocksBefore(UInt32 item);  // true if any was freed
  // The caller wakes the waiting threads.
  void Publish(UInt32 item, const Slot& slot);
  void FailFrom(Flow* f, SRes res);

  const CSzArEx* db_;
  ISzAllocPtr alloc_;
  std::vector<Slot> slots_;
  std::vector<bool> streamed_;  // per block
  std::vector<size_t> windows_;  // per streamed block
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<Block> done_;  // decoded blocks the writer may still read
  std::map<UInt32, std::unique_ptr<Flow>> flows_;  // by block
  size_t windowsHeld_ = 0;
  UInt32 nextBlock_ = 0;
  unsigned held_ = 0;  // blocks being decoded or not yet released
  unsigned maxHeld_ = 2;
  unsigned running_ = 0;
  UInt32 released_ = 0;
  UInt32 passed_ = 0;  // streamed blocks before this item are not read any more
  UInt32 settled_ = 0;  // items before this one are all ready
  UInt32 firstError_ = 0xFFFFFFFF;  // the earliest item that failed
  SRes error_ = SZ_OK;  // its error; no block is begun after one
  bool stop_ = false;
  UInt32 reading_ = 0xFFFFFFFF;  // the item Next is giving, and how far
  UInt64 cursor_ = 0;
  std::vector<Byte> whole_;  // Get's copy of a streamed item
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace brix
