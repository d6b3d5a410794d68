#pragma once
// The two byte sources the 7z decoder reads an archive from: bytes in
// memory (the payload resource where it is mapped), or an archive file.
#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "handles.h"
#include "lzma/7zTypes.h"

namespace brix {

// Largest single ReadFile or WriteFile of the unpacking.
constexpr DWORD kIoPiece = 0x400000;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  const ISeekInStream* Stream() const { return &stream_.vt; }
  // A second reader of the same bytes with a position of its own (for a
  // second decoding thread), or null when there can be none.
  virtual std::unique_ptr<ByteSource> Another() const = 0;

 protected:
  ByteSource() { stream_.self = this; }
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  template <class T>
  static T* Self(const ISeekInStream* p) {
    return static_cast<T*>(reinterpret_cast<const Stream_*>(p)->self);
  }

  struct Stream_ {
    ISeekInStream vt;  // first: the decoder's callbacks get its address
    ByteSource* self;
  } stream_;
};

class MemorySource : public ByteSource {
 public:
  // `data` stays owned by the caller and must outlive the source; it is
  // only ever read. With `exchanged`, bytes 0 and 1 are read in each
  // other's place (the payload resource is stored so, see payloadbytes.h).
  MemorySource(const Byte* data, size_t size, bool exchanged = false);
  std::unique_ptr<ByteSource> Another() const override;

 private:
  static SRes Read(const ISeekInStream* p, void* buf, size_t* size);
  static SRes Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin);

  const Byte* data_;
  size_t size_;
  bool exchanged_;
  UInt64 pos_ = 0;
};

class FileSource : public ByteSource {
 public:
  // Opens the file for reading (shared for reading only). Check Opened().
  explicit FileSource(const std::wstring& path);
  std::unique_ptr<ByteSource> Another() const override;

  bool Opened() const { return file_.valid(); }

 private:
  static SRes Read(const ISeekInStream* p, void* buf, size_t* size);
  static SRes Seek(const ISeekInStream* p, Int64* pos, ESzSeek origin);

  std::wstring path_;
  UniqueFileHandle file_;
};

}  // namespace brix
