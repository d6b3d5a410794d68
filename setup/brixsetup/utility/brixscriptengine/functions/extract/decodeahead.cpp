#include "decodeahead.h"

#include <system_error>

namespace brix {

DecodeAhead::DecodeAhead(const CSzArEx* db, const std::vector<ILookInStreamPtr>& streams, ISzAllocPtr alloc,
                         bool threads)
    : db_(db), alloc_(alloc), slots_(db->NumFiles) {
  // Folders and empty files have no bytes to decode.
  for (UInt32 i = 0; i < db->NumFiles; ++i)
    if (SzArEx_IsDir(db, i) || db->FileToFolder[i] == 0xFFFFFFFF) slots_[i].ready = true;
  while (settled_ < slots_.size() && slots_[settled_].ready) ++settled_;
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
      break;  // fewer threads, or none: then Get decodes
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
}

void DecodeAhead::Run(Worker* w) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] {
      return stop_ || error_ != SZ_OK || nextBlock_ >= db_->db.NumFolders || held_ < maxHeld_;
    });
    if (stop_ || error_ != SZ_OK || nextBlock_ >= db_->db.NumFolders) break;
    if (!DecodeBlock(w, nextBlock_++, lock)) break;
  }
  --running_;
  changed_.notify_all();
}

bool DecodeAhead::DecodeBlock(Worker* w, UInt32 folder, std::unique_lock<std::mutex>& lock) {
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

void DecodeAhead::Publish(UInt32 item, const Slot& slot) {
  slots_[item] = slot;
  slots_[item].ready = true;
  if (slot.res != SZ_OK && item < firstError_) {
    firstError_ = item;
    error_ = slot.res;
  }
  while (settled_ < slots_.size() && slots_[settled_].ready) ++settled_;
  changed_.notify_all();
}

SRes DecodeAhead::Get(UInt32 item, const Byte** data, size_t* size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (running_ == 0 && !workers_.empty()) {
    while (settled_ <= item && error_ == SZ_OK && nextBlock_ < db_->db.NumFolders)
      DecodeBlock(workers_.front().get(), nextBlock_++, lock);
  }
  // Every item up to this one must be settled, so that an error found by
  // another thread on an earlier item counts the same every time.
  changed_.wait(lock, [&] { return settled_ > item || running_ == 0; });
  if (firstError_ <= item) return error_;
  const Slot& slot = slots_[item];
  if (!slot.ready) return SZ_ERROR_FAIL;
  *data = slot.data;
  *size = slot.size;
  return slot.res;
}

void DecodeAhead::Release(UInt32 item) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (item <= released_) return;
  released_ = item;
  FreeBlocksBefore(item);
  changed_.notify_all();
}

void DecodeAhead::FreeBlocksBefore(UInt32 item) {
  for (size_t i = 0; i < done_.size();) {
    if (done_[i].end <= item) {
      ISzAlloc_Free(alloc_, done_[i].buffer);
      done_.erase(done_.begin() + static_cast<std::ptrdiff_t>(i));
      --held_;
    } else {
      ++i;
    }
  }
}

}  // namespace brix
