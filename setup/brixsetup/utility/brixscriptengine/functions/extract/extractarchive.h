#pragma once
// Turns the items of a 7z archive into files and folders below a folder.
#include <windows.h>

#include <string>

#include "lzma/7zTypes.h"

namespace brix {

class ByteSource;
class ScriptCallback;

// Extraction results besides the decoder's own codes (SZ_ERROR_*) and the
// system error of a skipped last file.
constexpr int kExtractOk = 0;
constexpr int kExtractOpenFailed = 1;
constexpr int kExtractNoMemory = 2;
constexpr int kExtractFileFailed = 11;

// Attributes for a file from the archived word: only those a file can take
// (Unix archivers keep the mode in the high half and set 0x8000).
DWORD FileAttributesOf(UInt32 archived);

// Reads the archive from `source` through a 16 KiB look-ahead. `progress`
// (text) hears the full path of each file written; `createError` (text,
// code) -> 0 retry, 1 skip, other abort, for a file that cannot be created
// or whose name would lead out of `destination`. Either may be null.
// Returns 0 when every item was unpacked; a skipped last file gives its error.
int ExtractArchive(const ByteSource& source, const std::wstring& destination, ScriptCallback* progress,
                   ScriptCallback* createError);

}  // namespace brix
