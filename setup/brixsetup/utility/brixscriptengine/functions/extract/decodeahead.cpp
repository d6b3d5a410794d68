#include "decodeahead.h"

#include <system_error>

namespace brix {

DecodeAhead::DecodeAhead(const CSzArEx* db, ILookInStreamPtr stream, ISzAllocPtr alloc)
    : db_(db), stream_(stream), alloc_(alloc), slots_(db->NumFiles) {
  threaded_ = true;  // set before the thread reads it
  try {
    thread_ = std::thread(&DecodeAhead::Run, this);
  } catch (const std::system_error&) {
    threaded_ = false;  // no thread: Get decodes on the caller's thread
  }
}

DecodeAhead::~DecodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  for (const Block& b : detached_) ISzAlloc_Free(alloc_, b.buffer);
  ISzAlloc_Free(alloc_, buffer_);
}

void DecodeAhead::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ < slots_.size() && !stop_ && Step(next_, lock)) {
  }
  ended_ = true;
  changed_.notify_all();
}

bool DecodeAhead::Step(UInt32 item, std::unique_lock<std::mutex>& lock) {
  const UInt32 folder = db_->FileToFolder[item];
  Slot slot;
  slot.ready = true;
  // Items without bytes are not handed to the decoder: for them it would
  // drop the cached block, and the next file of that block would decode it
  // all over again.
  if (!SzArEx_IsDir(db_, item) && folder != 0xFFFFFFFF) {
    if (folder != blockIndex_ && buffer_) {
      detached_.push_back({buffer_, db_->FolderToFile[blockIndex_ + 1]});
      buffer_ = nullptr;
      bufferSize_ = 0;
      blockIndex_ = 0xFFFFFFFF;
    }
    // At most two decoded blocks at a time: the one being written, the next.
    if (folder != blockIndex_ && threaded_) {
      changed_.wait(lock, [&] { return stop_ || detached_.size() < 2; });
      if (stop_) return false;
    }
    lock.unlock();
    size_t offset = 0;
    size_t size = 0;
    const SRes res =
        SzArEx_Extract(db_, stream_, item, &blockIndex_, &buffer_, &bufferSize_, &offset, &size, alloc_, alloc_);
    lock.lock();
    slot.res = res;
    slot.data = buffer_ ? buffer_ + offset : nullptr;
    slot.size = size;
  }
  slots_[item] = slot;
  next_ = item + 1;
  if (slot.res != SZ_OK) endRes_ = slot.res;
  changed_.notify_all();
  return slot.res == SZ_OK;
}

SRes DecodeAhead::Get(UInt32 item, const Byte** data, size_t* size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (threaded_) {
    changed_.wait(lock, [&] { return slots_[item].ready || ended_; });
  } else {
    while (!slots_[item].ready && endRes_ == SZ_OK && Step(next_, lock)) {
    }
  }
  const Slot& slot = slots_[item];
  // An error on an item the caller passed over (a refused name) ends the
  // decoding, and so the unpacking, at the next item asked for.
  if (!slot.ready) return endRes_ != SZ_OK ? endRes_ : SZ_ERROR_FAIL;
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
  for (size_t i = 0; i < detached_.size();) {
    if (detached_[i].end <= item) {
      ISzAlloc_Free(alloc_, detached_[i].buffer);
      detached_.erase(detached_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

}  // namespace brix
