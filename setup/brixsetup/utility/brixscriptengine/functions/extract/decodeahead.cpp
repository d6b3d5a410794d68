#include "decodeahead.h"

#include <system_error>

#include "folderstream.h"
#include "lzma/7zCrc.h"

namespace brix {
namespace {

constexpr UInt32 kNone = 0xFFFFFFFF;

}  // namespace

DecodeAhead::DecodeAhead(const CSzArEx* db, const std::vector<ILookInStreamPtr>& streams, ISzAllocPtr alloc,
                         bool threads)
    : db_(db),
      alloc_(alloc),
      slots_(db->NumFiles),
      streamed_(db->db.NumFolders),
      windows_(db->db.NumFolders) {
  // Folders and empty files have no bytes to decode.
  for (UInt32 i = 0; i < db->NumFiles; ++i)
    if (SzArEx_IsDir(db, i) || db->FileToFolder[i] == kNone) slots_[i].ready = true;
  while (settled_ < slots_.size() && slots_[settled_].ready) ++settled_;
  for (UInt32 f = 0; f < db->db.NumFolders; ++f) {
    size_t window = 0;
    streamed_[f] = FolderStream::Handles(db, f, &window);
    windows_[f] = window;
  }
  for (ILookInStreamPtr s : streams) {
    workers_.push_back(std::make_unique<Worker>());
    workers_.back()->stream = s;
  }
  // The threads wait for the lock until every one is started.
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& w : workers_) {
    if (!threads) break;
    try {
      w->thread = std::thread(&DecodeAhead::Run, this, w.get());
      ++running_;
    } catch (const std::system_error&) {
      break;  // fewer threads, or none: then the reader decodes
    }
  }
  maxHeld_ = running_ + 1;
}

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (auto& w : workers_) {
    if (w->thread.joinable()) w->thread.join();
    ISzAlloc_Free(alloc_, w->buffer);
  }
  for (const Block& b : done_) ISzAlloc_Free(alloc_, b.buffer);
  for (auto& entry : flows_) {
    for (Byte* b : entry.second->spare) ISzAlloc_Free(alloc_, b);
    for (const Piece& p : entry.second->ready) ISzAlloc_Free(alloc_, p.data);
  }
}

void DecodeAhead::Run(Worker* w) {
  Lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      return stop_ || error_ != SZ_OK || nextBlock_ >= db_->db.NumFolders ||
             (held_ < maxHeld_ && WindowFits(nextBlock_));
    });
    if (stop_ || error_ != SZ_OK || nextBlock_ >= db_->db.NumFolders) break;
    const UInt32 folder = nextBlock_++;
    if (!(streamed_[folder] ? StreamBlock(w, folder, lock) : DecodeBlock(w, folder, lock))) break;
  }
  --running_;
  changed_.notify_all();
}

bool DecodeAhead::WindowFits(UInt32 folder) const {
  return !streamed_[folder] || windowsHeld_ == 0 || windowsHeld_ + windows_[folder] <= kWindowBudget;
}

bool DecodeAhead::DecodeBlock(Worker* w, UInt32 folder, Lock& lock) {
  ++held_;
  const UInt32 end = db_->FolderToFile[folder + 1];
  SRes res = SZ_OK;
  for (UInt32 item = db_->FolderToFile[folder]; item < end; ++item) {
    if (db_->FileToFolder[item] != folder) continue;
    Slot slot;
    // Once the block failed, its remaining items fail with it.
    if (res == SZ_OK) {
      lock.unlock();
      size_t offset = 0;
      res = SzArEx_Extract(db_, w->stream, item, &w->blockIndex, &w->buffer, &w->bufferSize, &offset, &slot.size,
                           alloc_, alloc_);
      slot.data = w->buffer ? w->buffer + offset : nullptr;
      lock.lock();
    }
    slot.res = res;
    Publish(item, slot);
    changed_.notify_all();
  }
  // The writer keeps reading the block: the next one gets a buffer of its own.
  done_.push_back({w->buffer, end});
  w->buffer = nullptr;
  w->bufferSize = 0;
  w->blockIndex = 0xFFFFFFFF;
  FreeBlocksBefore(released_);  // the writer may be past it already
  changed_.notify_all();
  return res == SZ_OK;
}

DecodeAhead::Flow* DecodeAhead::BeginFlow(ILookInStreamPtr stream, UInt32 folder) {
  auto f = std::make_unique<Flow>();
  f->folder = folder;
  f->first = db_->FolderToFile[folder];
  f->end = db_->FolderToFile[folder + 1];
  bool any = false;
  for (UInt32 i = f->first; i < f->end && !any; ++i) any = db_->FileToFolder[i] == folder;
  if (!any) return nullptr;  // nothing asks for its bytes
  f->base = db_->UnpackPositions[f->first];
  const UInt64 total = SzAr_GetFolderUnpackSize(&db_->db, folder);
  f->pieceSize = total < kPiece ? (total < 16 ? 16 : static_cast<size_t>(total)) : kPiece;
  f->window = windows_[folder];
  f->decoder = std::make_unique<FolderStream>(db_, folder, stream, alloc_);
  f->spare.assign(kPieces, nullptr);
  f->check = f->first;
  f->crc = CRC_INIT_VAL;
  f->released = f->end <= passed_;
  if (f->released) f->needed = ~UInt64(0);
  windowsHeld_ += f->window;
  Flow* raw = f.get();
  flows_[folder] = std::move(f);
  changed_.notify_all();
  return raw;
}

bool DecodeAhead::StreamBlock(Worker* w, UInt32 folder, Lock& lock) {
  ++held_;
  Flow* f = BeginFlow(w->stream, folder);
  if (!f) {
    --held_;
    return true;
  }
  for (;;) {
    changed_.wait(lock, [&] { return stop_ || !f->spare.empty(); });
    if (stop_) {
      // Abandoned: the destructor frees what is left.
      f->decoding = false;
      windowsHeld_ -= f->window;
      return false;
    }
    bool ok = true;
    if (!Pump(f, lock, &ok)) return ok;
  }
}

bool DecodeAhead::Pump(Flow* f, Lock& lock, bool* ok) {
  Byte* buffer = f->spare.back();
  f->spare.pop_back();
  f->busy = true;
  lock.unlock();

  SRes res = SZ_OK;
  size_t filled = 0;
  bool end = false;
  if (!buffer) {
    buffer = static_cast<Byte*>(ISzAlloc_Alloc(alloc_, f->pieceSize));
    if (!buffer) res = SZ_ERROR_MEM;
  }
  // The filter may keep a few bytes back: the piece can end short of full.
  while (res == SZ_OK && f->pieceSize - filled >= 16) {
    size_t got = 0;
    res = f->decoder->Read(buffer + filled, f->pieceSize - filled, &got);
    if (res == SZ_OK && got == 0) end = true;
    if (res != SZ_OK || end) break;
    filled += got;
  }
  // Items the good bytes complete are checked even when decoding failed
  // further on.
  f->verified.clear();
  const SRes bad = Check(f, buffer, filled);
  if (bad != SZ_OK) res = bad;

  std::unique_ptr<FolderStream> finished;
  lock.lock();
  f->busy = false;
  if (buffer) {
    if (filled == 0 || f->produced <= f->needed)
      f->spare.push_back(buffer);
    else
      f->ready.push_back({buffer, f->produced - filled, filled});
  }
  for (UInt32 item : f->verified) Publish(item, Slot());
  if (res != SZ_OK) {
    FailFrom(f, res);
  } else if (end) {
    FailFrom(f, SZ_ERROR_FAIL);  // items the block's bytes never reached
  }
  if (res != SZ_OK || end) {
    f->decoding = false;
    windowsHeld_ -= f->window;
    finished = std::move(f->decoder);
  }
  const bool more = f->decoding;
  if (!more && f->released) Retire(f);
  changed_.notify_all();
  if (finished) {
    lock.unlock();
    finished.reset();
    lock.lock();
  }
  *ok = res == SZ_OK;
  return more;
}

SRes DecodeAhead::Check(Flow* f, const Byte* piece, size_t size) {
  const UInt64 start = f->produced;
  const UInt64 end = start + size;
  f->produced = end;
  for (; f->check < f->end; ++f->check) {
    const UInt32 i = f->check;
    if (db_->FileToFolder[i] != f->folder || SzArEx_IsDir(db_, i)) continue;
    const UInt64 from = db_->UnpackPositions[i] - f->base;
    const UInt64 to = db_->UnpackPositions[i + 1] - f->base;
    const UInt64 lo = from > start ? from : start;
    const UInt64 hi = to < end ? to : end;
    if (hi > lo) f->crc = CrcUpdate(f->crc, piece + (lo - start), static_cast<size_t>(hi - lo));
    if (to > end) break;
    if (SzBitWithVals_Check(&db_->CRCs, i) && CRC_GET_DIGEST(f->crc) != db_->CRCs.Vals[i]) return SZ_ERROR_CRC;
    f->crc = CRC_INIT_VAL;
    f->verified.push_back(i);
  }
  return SZ_OK;
}

void DecodeAhead::FailFrom(Flow* f, SRes res) {
  // Once the block failed, its remaining items fail with it.
  for (UInt32 i = f->check; i < f->end; ++i) {
    if (db_->FileToFolder[i] != f->folder || SzArEx_IsDir(db_, i)) continue;
    Slot slot;
    slot.res = res;
    Publish(i, slot);
  }
  f->check = f->end;
}

void DecodeAhead::Recycle(Flow* f) {
  bool freed = false;
  while (!f->ready.empty() && f->ready.front().start + f->ready.front().size <= f->needed) {
    f->spare.push_back(f->ready.front().data);
    f->ready.pop_front();
    freed = true;
  }
  if (freed) changed_.notify_all();
}

void DecodeAhead::Retire(Flow* f) {
  for (Byte* b : f->spare) ISzAlloc_Free(alloc_, b);
  for (const Piece& p : f->ready) ISzAlloc_Free(alloc_, p.data);
  --held_;
  flows_.erase(f->folder);
  changed_.notify_all();
}

void DecodeAhead::Publish(UInt32 item, const Slot& slot) {
  slots_[item] = slot;
  slots_[item].ready = true;
  if (slot.res != SZ_OK && item < firstError_) {
    firstError_ = item;
    error_ = slot.res;
  }
  while (settled_ < slots_.size() && slots_[settled_].ready) ++settled_;
}

bool DecodeAhead::Advance(Lock& lock) {
  if (workers_.empty()) return false;
  // A streamed block begun earlier is finished first.
  for (auto& entry : flows_) {
    Flow* f = entry.second.get();
    if (!f->decoding) continue;
    if (f->spare.empty()) return false;
    bool ok = true;
    Pump(f, lock, &ok);
    return true;
  }
  if (error_ != SZ_OK || nextBlock_ >= db_->db.NumFolders) return false;
  const UInt32 folder = nextBlock_++;
  Worker* w = workers_.front().get();
  if (!streamed_[folder]) {
    DecodeBlock(w, folder, lock);
  } else {
    ++held_;
    if (!BeginFlow(w->stream, folder)) --held_;
  }
  return true;
}

bool DecodeAhead::Progress(Lock& lock) {
  if (running_ == 0) return Advance(lock);
  changed_.wait(lock);
  return true;
}

SRes DecodeAhead::DecidedError(UInt32 item) const {
  // Only once every item before the failed one is settled can no thread
  // still find an earlier error.
  return firstError_ <= item && settled_ >= firstError_ ? error_ : SZ_OK;
}

bool DecodeAhead::Streamed(UInt32 item) const {
  const UInt32 folder = db_->FileToFolder[item];
  return folder != kNone && !SzArEx_IsDir(db_, item) && streamed_[folder];
}

SRes DecodeAhead::Whole(UInt32 item, const Byte** data, size_t* size, Lock& lock) {
  for (;;) {
    if (const SRes res = DecidedError(item)) return res;
    if (settled_ > item) {
      const Slot& slot = slots_[item];
      *data = slot.data;
      *size = slot.size;
      return slot.res;
    }
    if (!Progress(lock)) return SZ_ERROR_FAIL;
  }
}

SRes DecodeAhead::Next(UInt32 item, const Byte** data, size_t* size, bool* last) {
  *data = nullptr;
  *size = 0;
  *last = true;
  Lock lock(mutex_);
  if (item >= slots_.size()) return SZ_ERROR_PARAM;
  ReleaseLocked(item);
  if (!Streamed(item)) return Whole(item, data, size, lock);

  const UInt32 folder = db_->FileToFolder[item];
  const UInt64 base = db_->UnpackPositions[db_->FolderToFile[folder]];
  const UInt64 to = db_->UnpackPositions[item + 1] - base;
  if (item != reading_) {
    reading_ = item;
    cursor_ = db_->UnpackPositions[item] - base;
  }
  for (;;) {
    if (const SRes res = DecidedError(item)) return res;
    auto it = flows_.find(folder);
    Flow* f = it == flows_.end() ? nullptr : it->second.get();
    if (f) {
      // What was handed out before is written by now.
      if (cursor_ > f->needed) f->needed = cursor_;
      Recycle(f);
    }
    if (f && settled_ >= item) {
      if (cursor_ == to && slots_[item].ready) return slots_[item].res;
      if (cursor_ < to && !f->ready.empty() && f->ready.front().start <= cursor_) {
        const Piece& p = f->ready.front();
        const UInt64 pieceEnd = p.start + p.size;
        const UInt64 stop = to < pieceEnd ? to : pieceEnd;
        *data = p.data + (cursor_ - p.start);
        *size = static_cast<size_t>(stop - cursor_);
        cursor_ = stop;
        // A piece that completes the item comes after its check.
        *last = cursor_ == to;
        return SZ_OK;
      }
    }
    if (!f && folder < nextBlock_) return SZ_ERROR_FAIL;  // asked for out of order
    if (!Progress(lock)) return SZ_ERROR_FAIL;
  }
}

SRes DecodeAhead::Get(UInt32 item, const Byte** data, size_t* size) {
  {
    Lock lock(mutex_);
    if (item >= slots_.size()) return SZ_ERROR_PARAM;
    if (!Streamed(item)) {
      DropFlowsBefore(item);
      return Whole(item, data, size, lock);
    }
  }
  whole_.clear();
  for (bool last = false; !last;) {
    const Byte* piece = nullptr;
    size_t n = 0;
    if (const SRes res = Next(item, &piece, &n, &last)) return res;
    whole_.insert(whole_.end(), piece, piece + n);
  }
  *data = whole_.data();
  *size = whole_.size();
  return SZ_OK;
}

void DecodeAhead::Release(UInt32 item) {
  Lock lock(mutex_);
  ReleaseLocked(item);
}

void DecodeAhead::ReleaseLocked(UInt32 item) {
  if (item > released_) {
    released_ = item;
    // A thread may wait for room for one more block.
    if (FreeBlocksBefore(item)) changed_.notify_all();
  }
  DropFlowsBefore(item);
}

void DecodeAhead::DropFlowsBefore(UInt32 item) {
  if (item > passed_) passed_ = item;
  // Streamed blocks the reader is past are still decoded to the end, for
  // their checks, but their pieces go straight back to the decoder.
  for (auto it = flows_.begin(); it != flows_.end();) {
    Flow* f = (it++)->second.get();
    if (f->end > item || f->released) continue;
    f->released = true;
    f->needed = ~UInt64(0);
    Recycle(f);
    if (!f->decoding && !f->busy) Retire(f);
  }
}

bool DecodeAhead::FreeBlocksBefore(UInt32 item) {
  const size_t before = done_.size();
  for (size_t i = 0; i < done_.size();) {
    if (done_[i].end <= item) {
      ISzAlloc_Free(alloc_, done_[i].buffer);
      done_.erase(done_.begin() + static_cast<std::ptrdiff_t>(i));
      --held_;
    } else {
      ++i;
    }
  }
  return done_.size() != before;
}

}  // namespace brix
