#include "archivesource.h"

#include <cstring>

namespace brix {

MemorySource::MemorySource(const Byte* data, size_t size, bool exchanged)
    : data_(data), size_(data ? size : 0), exchanged_(exchanged && size_ >= 2) {
  stream_.vt.Read = &MemorySource::Read;
  stream_.vt.Seek = &MemorySource::Seek;
}

std::unique_ptr<ByteSource> MemorySource::Another() const {
  return std::make_unique<MemorySource>(data_, size_, exchanged_);
}

SRes MemorySource::Read(const ISeekInStream* p, void* buf, size_t* size) {
  MemorySource* self = Self<MemorySource>(p);
  // A position past the end (a seek may put it there) delivers nothing
  // instead of wrapping round to a huge count.
  const UInt64 left = self->pos_ < self->size_ ? self->size_ - self->pos_ : 0;
  const size_t n = *size < left ? *size : static_cast<size_t>(left);
  if (n) std::memcpy(buf, self->data_ + self->pos_, n);
  if (self->exchanged_) {
    auto* out = static_cast<Byte*>(buf);
    for (UInt64 at = self->pos_; at < 2 && at < self->pos_ + n; ++at) out[at - self->pos_] = self->data_[1 - at];
  }
  self->pos_ += n;
  *size = n;
  return SZ_OK;
}

SRes MemorySource::Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin) {
  MemorySource* self = Self<MemorySource>(p);
  Int64 base;
  switch (origin) {
    case SZ_SEEK_SET: base = 0; break;
    case SZ_SEEK_CUR: base = static_cast<Int64>(self->pos_); break;
    case SZ_SEEK_END: base = static_cast<Int64>(self->size_); break;
    default: return ERROR_INVALID_PARAMETER;
  }
  const Int64 target = base + *pos;
  if (target < 0) return ERROR_NEGATIVE_SEEK;
  self->pos_ = static_cast<UInt64>(target);
  *pos = target;
  return SZ_OK;
}

FileSource::FileSource(const std::wstring& path) : path_(path) {
  stream_.vt.Read = &FileSource::Read;
  stream_.vt.Seek = &FileSource::Seek;
  file_.reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
}

std::unique_ptr<ByteSource> FileSource::Another() const {
  auto other = std::make_unique<FileSource>(path_);
  if (!other->Opened()) return nullptr;
  return other;
}

SRes FileSource::Read(const ISeekInStream* p, void* buf, size_t* size) {
  FileSource* self = Self<FileSource>(p);
  size_t done = 0;
  while (done < *size) {
    const size_t want = *size - done;
    const DWORD piece = want < kIoPiece ? static_cast<DWORD>(want) : kIoPiece;
    DWORD got = 0;
    if (!ReadFile(self->file_.get(), static_cast<Byte*>(buf) + done, piece, &got, nullptr)) {
      *size = done;
      return SZ_ERROR_READ;
    }
    if (got == 0) break;
    done += got;
  }
  *size = done;
  return SZ_OK;
}

SRes FileSource::Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin) {
  FileSource* self = Self<FileSource>(p);
  DWORD method;
  switch (origin) {
    case SZ_SEEK_SET: method = FILE_BEGIN; break;
    case SZ_SEEK_CUR: method = FILE_CURRENT; break;
    case SZ_SEEK_END: method = FILE_END; break;
    default: return ERROR_INVALID_PARAMETER;
  }
  LONG high = static_cast<LONG>(static_cast<UInt64>(*pos) >> 32);
  SetLastError(NO_ERROR);
  const DWORD low = SetFilePointer(self->file_.get(), static_cast<LONG>(static_cast<DWORD>(*pos)), &high, method);
  if (low == INVALID_SET_FILE_POINTER) {
    const DWORD e = GetLastError();
    if (e != NO_ERROR) return static_cast<SRes>(e);
  }
  *pos = static_cast<Int64>((static_cast<UInt64>(static_cast<DWORD>(high)) << 32) | low);
  return SZ_OK;
}

}  // namespace brix
