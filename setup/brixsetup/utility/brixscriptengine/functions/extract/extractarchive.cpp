#include "extractarchive.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "archivesource.h"
#include "decodeahead.h"
#include "handles.h"
#include "itemname.h"
#include "lzma/7z.h"
#include "lzma/7zCrc.h"
#include "scriptcallback.h"
#include "trace.h"
#include "writeall.h"

namespace brix {
namespace {

constexpr size_t kLookAhead = 1 << 14;

void* AllocBytes(ISzAllocPtr, size_t size) { return size ? std::malloc(size) : nullptr; }
void FreeBytes(ISzAllocPtr, void* address) { std::free(address); }
const ISzAlloc kAlloc = {AllocBytes, FreeBytes};

// The decoder's view of a byte source: the look-ahead reader over it.
struct Reader {
  std::unique_ptr<ByteSource> owned;  // a second reader's own source
  CLookToRead2 look;
  Byte buffer[kLookAhead];

  explicit Reader(const ByteSource& source) {
    LookToRead2_CreateVTable(&look, True);
    look.buf = buffer;
    look.bufSize = kLookAhead;
    look.realStream = source.Stream();
    LookToRead2_INIT(&look);
  }
};

// Everything the decoder and the loop hold, released on every way out (a
// script callback may unwind with a Lua error).
struct Extraction {
  CSzArEx db;
  std::vector<std::unique_ptr<Reader>> readers;
  wchar_t* path = nullptr;
  size_t longestName = 0;
  UniqueFileHandle file;
  // Folders made (or found) during this unpacking: each creation asks the
  // file system, and under Wine scans the parent folder.
  std::unordered_set<std::wstring> folders;

  Extraction() { SzArEx_Init(&db); }
  ~Extraction() {
    file.reset();
    SzArEx_Free(&db, &kAlloc);
    std::free(path);
  }
  Extraction(const Extraction&) = delete;
  Extraction& operator=(const Extraction&) = delete;
};

// Two decoding threads when there are two processors and the bytes can be
// read twice: one thread decodes about as fast as the files are written.
std::vector<ILookInStreamPtr> DecoderStreams(Extraction& x, const ByteSource& source) {
  std::vector<ILookInStreamPtr> streams = {&x.readers.front()->look.vt};
  if (std::thread::hardware_concurrency() >= 2 && x.db.db.NumFolders >= 2) {
    if (std::unique_ptr<ByteSource> other = source.Another()) {
      x.readers.push_back(std::make_unique<Reader>(*other));
      x.readers.back()->owned = std::move(other);
      streams.push_back(&x.readers.back()->look.vt);
    }
  }
  return streams;
}

// A file that could not be written whole must not stay looking complete:
// it is removed, and the unpacking ends (a full disk stays full, so the
// create-error callback is not asked).
ExtractResult RemovePartialFile(Extraction& x, DWORD error) {
  x.file.reset();
  DeleteFileW(x.path);
  Trace(L"Fun:%s, Description:%s could not be written whole (error %u), removed!\r\n", L"Lua_UnCompress7z", x.path,
        static_cast<unsigned>(error));
  return ExtractResult::FileError(error);
}

void ToBackslashes(wchar_t* name) {
  for (wchar_t* p = name; *p; ++p)
    if (*p == L'/') *p = L'\\';
}

ExtractResult NotDecoded(Extraction& x, wchar_t* name, SRes res) {
  ToBackslashes(name);
  Trace(L"Fun:%s, Description:%s could not be decoded (error %d), not written!\r\n", L"Lua_UnCompress7z", x.path,
        static_cast<int>(res));
  return ExtractResult::FromDecoder(res);
}

enum class Decision { Retry, Skip, Abort };

Decision AskCreateError(ScriptCallback* createError, const wchar_t* path, DWORD error) {
  if (!createError || createError->Empty()) return Decision::Abort;
  const int answer = createError->Call(path, error);
  return answer == 0 ? Decision::Retry : answer == 1 ? Decision::Skip : Decision::Abort;
}

HANDLE CreateOutput(const wchar_t* path) {
  return CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A read-only file in the way is made writable and replaced. Looked at only
// when creating fails: most targets do not exist yet, and asking about a
// missing file first costs a directory scan under Wine. `fresh` tells that
// no file was there before.
HANDLE CreateReplacingReadOnly(const wchar_t* path, bool* fresh) {
  HANDLE file = CreateOutput(path);
  *fresh = file != INVALID_HANDLE_VALUE && GetLastError() != ERROR_ALREADY_EXISTS;
  if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) return file;
  const DWORD existing = GetFileAttributesW(path);
  if (existing == INVALID_FILE_ATTRIBUTES || !(existing & FILE_ATTRIBUTE_READONLY) ||
      (existing & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  SetFileAttributesW(path, existing & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  return CreateOutput(path);  // `fresh` stays false
}

// Creates each parent folder of the item below the destination (never the
// destination itself) not made earlier in this unpacking, and leaves
// backslashes between the parts.
void CreateParents(Extraction& x, wchar_t* name) {
  for (wchar_t* p = name; *p; ++p) {
    if (*p != L'/' && *p != L'\\') continue;
    *p = L'\0';
    if (x.folders.insert(x.path).second) CreateDirectoryW(x.path, nullptr);
    *p = L'\\';
  }
}

// A file in a folder that a script callback removed since it was made.
HANDLE CreateInMissingFolder(Extraction& x, wchar_t* name, bool* fresh) {
  x.folders.clear();
  CreateParents(x, name);
  return CreateReplacingReadOnly(x.path, fresh);
}

}  // namespace

DWORD FileAttributesOf(UInt32 archived) {
  constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                              FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD a = archived & kSettable;
  return a ? a : FILE_ATTRIBUTE_NORMAL;
}

ExtractResult ExtractArchive(const ByteSource& source, const std::wstring& destination, ScriptCallback* progress,
                             ScriptCallback* createError) {
  using Kind = ExtractResult::Kind;
  CrcGenerateTable();
  Extraction x;
  x.readers.push_back(std::make_unique<Reader>(source));
  const SRes opened = SzArEx_Open(&x.db, &x.readers.front()->look.vt, &kAlloc, &kAlloc);
  if (opened != SZ_OK) return ExtractResult::FromDecoder(opened);

  // Declared after `x`: its threads are stopped before the database goes.
  DecodeAhead ahead(&x.db, DecoderStreams(x, source), &kAlloc);
  const size_t destLength = destination.size();
  // The outcome of the last file item handled.
  ExtractResult status;
  for (UInt32 i = 0; i < x.db.NumFiles; ++i) {
    ahead.Release(i);
    const size_t nameLength = SzArEx_GetFileNameUtf16(&x.db, i, nullptr);
    if (nameLength > x.longestName) {
      std::free(x.path);
      x.path = static_cast<wchar_t*>(std::malloc((destLength + nameLength + 1) * sizeof(wchar_t)));
      if (!x.path) return ExtractResult::Of(Kind::NoMemory);
      x.longestName = nameLength;
    }
    std::memcpy(x.path, destination.c_str(), destLength * sizeof(wchar_t));
    x.path[destLength] = L'\\';
    wchar_t* name = x.path + destLength + 1;
    SzArEx_GetFileNameUtf16(&x.db, i, reinterpret_cast<UInt16*>(name));
    const bool isDir = SzArEx_IsDir(&x.db, i);

    if (!IsContainedItemName(name)) {
      ToBackslashes(name);
      Trace(L"Fun:%s, Description:%s leads out of the destination, refused!\r\n", L"Lua_UnCompress7z", x.path);
      // Asking again cannot change the name: a retry ends like an abort.
      if (AskCreateError(createError, x.path, ERROR_INVALID_NAME) != Decision::Skip)
        return ExtractResult::Of(Kind::FileFailed);
      status = ExtractResult::Skipped(ERROR_INVALID_NAME);
      continue;
    }

    // The first piece comes before the file is created: an item that fails
    // within it (most fail there whole) leaves nothing behind.
    const Byte* data = nullptr;
    size_t size = 0;
    bool last = true;
    if (!isDir) {
      const SRes res = ahead.Next(i, &data, &size, &last);
      if (res != SZ_OK) return NotDecoded(x, name, res);
    }
    CreateParents(x, name);
    if (isDir) {
      if (x.folders.insert(x.path).second) CreateDirectoryW(x.path, nullptr);
      continue;
    }

    bool fresh = false;
    x.file.reset(CreateReplacingReadOnly(x.path, &fresh));
    if (!x.file && GetLastError() == ERROR_PATH_NOT_FOUND) x.file.reset(CreateInMissingFolder(x, name, &fresh));
    if (!x.file) {
      DWORD e = GetLastError();
      // Without a handle nothing is written, whatever the last error says.
      if (e == 0) e = ERROR_OPEN_FAILED;
      switch (AskCreateError(createError, x.path, e)) {
        case Decision::Retry:
          x.file.reset(CreateInMissingFolder(x, name, &fresh));
          if (!x.file) return ExtractResult::Of(Kind::FileFailed);
          break;
        case Decision::Skip:
          status = ExtractResult::Skipped(e);
          continue;
        case Decision::Abort:
          return ExtractResult::Of(Kind::FileFailed);
      }
    }
    status = ExtractResult();

    for (;;) {
      if (!WriteAll(x.file.get(), data, size)) return RemovePartialFile(x, GetLastError());
      if (last) break;
      const SRes res = ahead.Next(i, &data, &size, &last);
      if (res != SZ_OK) {
        // A damaged block found in the middle of the file: it must not stay
        // looking complete.
        x.file.reset();
        DeleteFileW(x.path);
        return NotDecoded(x, name, res);
      }
    }
    if (SzBitWithVals_Check(&x.db.MTime, i)) {
      const CNtfsFileTime& t = x.db.MTime.Vals[i];
      FILETIME written = {t.Low, t.High};
      SetFileTime(x.file.get(), nullptr, nullptr, &written);
    }
    // A close that fails may have lost the last bytes.
    if (!CloseHandle(x.file.release()) && GetLastError() != 0) return RemovePartialFile(x, GetLastError());
    // A file new on disk holds exactly FILE_ATTRIBUTE_ARCHIVE already.
    if (SzBitWithVals_Check(&x.db.Attribs, i)) {
      const DWORD attributes = FileAttributesOf(x.db.Attribs.Vals[i]);
      if (!fresh || attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesW(x.path, attributes);
    }
    if (progress && !progress->Empty()) progress->Call(x.path);
  }
  return status;
}

}  // namespace brix
