#pragma once
// The two byte sources the 7z decoder reads an archive from: a heap copy of
// the payload resource, or an archive file.
#include <windows.h>

#include <cstddef>

#include "lzma/7zTypes.h"

namespace brix {

// Largest single ReadFile or WriteFile of the unpacking.
constexpr DWORD kIoPiece = 0x400000;

class MemorySource {
 public:
  // `data` stays owned by the caller and must outlive the source.
  MemorySource(const Byte* data, size_t size);
  const ISeekInStream* Stream() const { return &vt_; }

 private:
  static SRes Read(const ISeekInStream* p, void* buf, size_t* size);
  static SRes Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin);

  ISeekInStream vt_;  // first member: the callbacks recover the object from it
  const Byte* data_;
  size_t size_;
  UInt64 pos_ = 0;
};

class FileSource {
 public:
  // Opens the file for reading (shared for reading only). Check Opened().
  explicit FileSource(const wchar_t* path);
  ~FileSource();
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Opened() const { return file_ != INVALID_HANDLE_VALUE; }
  // The system's error of the failed open (never 0 when !Opened()).
  DWORD OpenError() const { return openError_; }
  const ISeekInStream* Stream() const { return &vt_; }

 private:
  static SRes Read(const ISeekInStream* p, void* buf, size_t* size);
  static SRes Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin);

  ISeekInStream vt_;
  HANDLE file_;
  DWORD openError_ = 0;
};

}  // namespace brix
