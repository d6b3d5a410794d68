#pragma once
// Turns the items of a 7z archive into files and folders below a folder.
#include <windows.h>

#include <string>

#include "lzma/7zTypes.h"

namespace brix {

class ByteSource;
class ScriptCallback;

// What an unpacking came to. Scripts only learn success or failure; the
// cause stays typed, so that a decoder code is never read as a system error
// code or as one of our own.
struct ExtractResult {
  enum class Kind {
    Ok,
    OpenFailed,   // the archive file could not be opened
    NoMemory,     // no room for an item's path
    FileFailed,   // a file could not be created, written or closed
    Decoder,      // the decoder's code (SZ_ERROR_*) in decoderCode
    SkippedLast,  // the last file item was skipped at the script's answer
  };
  Kind kind = Kind::Ok;
  SRes decoderCode = SZ_OK;
  // With SkippedLast, why that file could not be created; with FileFailed,
  // why a file could not be written or closed (0: not created, or aborted).
  DWORD systemError = 0;

  static ExtractResult Of(Kind kind) { return {kind, SZ_OK, 0}; }
  static ExtractResult FromDecoder(SRes code) { return {Kind::Decoder, code, 0}; }
  static ExtractResult Skipped(DWORD error) { return {Kind::SkippedLast, SZ_OK, error}; }
  static ExtractResult FileError(DWORD error) { return {Kind::FileFailed, SZ_OK, error}; }
  bool Ok() const { return kind == Kind::Ok; }
};

// Attributes for a file from the archived word: only those a file can take
// (Unix archivers keep the mode in the high half and set 0x8000).
DWORD FileAttributesOf(UInt32 archived);

// Reads the archive from `source` through a 16 KiB look-ahead. `progress`
// (text) hears the full path of each file written; `createError` (text,
// code) -> 0 retry, 1 skip, other abort, for a file that cannot be created
// or whose name would lead out of `destination`. Either may be null. A file
// that cannot be written or closed whole (a full disk) is removed and ends
// the unpacking without asking; so does an item the decoder fails on: its
// file is not created, or removed when the failure shows only further into
// a long file.
// Ok when every item was unpacked; a skipped last file fails the whole.
ExtractResult ExtractArchive(const ByteSource& source, const std::wstring& destination, ScriptCallback* progress,
                   ScriptCallback* createError);

}  // namespace brix
