// Host functions that put the payload on disk: unpacking a 7z archive (the
// "_7Z" payload resource or a file) and copying a resource into a file.
#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

#include "extract/archivesource.h"
#include "extract/extractarchive.h"
#include "extract/payloadbytes.h"
#include "extract/writeall.h"
#include "hostargs.h"
#include "ownresource.h"
#include "hostfunctions_decl.h"
#include "scriptcallback.h"
#include "trace.h"

namespace brix {
namespace {

constexpr wchar_t kUnCompress[] = L"Lua_UnCompress7z";
constexpr wchar_t kExtractResource[] = L"Lua_ExtractResource";
constexpr wchar_t kPayloadType[] = L"_7Z";

int PushResult(lua_State* L, bool value) {
  lua_pushboolean(L, value ? 1 : 0);
  return 1;
}

bool Exists(const std::wstring& path) { return !path.empty() && PathFileExistsW(path.c_str()); }

// A resource name argument: a number (or numeric text) is the 16-bit id.
class ResourceName {
 public:
  ResourceName(lua_State* L, int index) {
    if (lua_isnumber(L, index)) {
      id_ = static_cast<WORD>(ArgInt(L, index));
    } else {
      text_ = ArgText(L, index);
      byName_ = true;
    }
  }
  const wchar_t* Get() const { return byName_ ? text_.c_str() : MAKEINTRESOURCEW(id_); }
  bool ByName() const { return byName_; }
  const std::wstring& Text() const { return text_; }

 private:
  std::wstring text_;
  WORD id_ = 0;
  bool byName_ = false;
};

// The payload is decoded from a heap copy of the resource.
int ExtractResourceArchive(const OwnResource& res, const std::wstring& destination, ScriptCallback* progress,
                           ScriptCallback* createError) {
  const bool restored = RestorePayloadBytes(res.Data(), res.Size());
  auto* copy = static_cast<Byte*>(res.Size() ? std::malloc(res.Size()) : nullptr);
  // Without the copy the source is empty and the decoder finds no archive.
  size_t size = 0;
  if (copy) {
    std::memcpy(copy, res.Data(), res.Size());
    size = res.Size();
    if (!restored) ExchangeFirstTwo(copy, size);
  }
  struct Release {
    Byte* p;
    ~Release() { std::free(p); }
  } release{copy};
  MemorySource source(copy, size);
  return ExtractArchive(source, destination, progress, createError);
}

}  // namespace

int Lua_UnCompress7z(lua_State* L) {
  const int n = lua_gettop(L);
  if (n < 2 || n > 5) {
    Trace(L"Fun:%s, Description: UnCompress failed.!\r\n", kUnCompress);
    return PushResult(L, false);
  }
  // Taken from the top, last argument first; each releases its reference
  // when the call ends, however it ends.
  std::optional<ScriptCallback> createError;
  std::optional<ScriptCallback> progress;
  if (n == 5 && lua_type(L, -1) == LUA_TFUNCTION) createError.emplace(L);
  if ((n == 4 || n == 5) && lua_type(L, -1) == LUA_TFUNCTION) progress.emplace(L);
  ScriptCallback* onProgress = progress ? &*progress : nullptr;
  ScriptCallback* onCreateError = createError ? &*createError : nullptr;

  const bool fromFile = n >= 3 && lua_type(L, 3) == LUA_TBOOLEAN && lua_toboolean(L, 3);
  std::wstring destination;
  if (!ExpandArgPath(L, 2, kUnCompress, destination)) return PushResult(L, false);
  if (!Exists(destination)) {
    TraceMissing(kUnCompress, destination);
    return PushResult(L, false);
  }

  int result;
  if (fromFile) {
    std::wstring archive;
    if (!ExpandArgPath(L, 1, kUnCompress, archive)) return PushResult(L, false);
    if (!Exists(archive)) {
      TraceMissing(kUnCompress, archive);
      return PushResult(L, false);
    }
    Trace(L"UnCompress %s to %s .\r\n", archive.c_str(), destination.c_str());
    FileSource file(archive);
    result = file.Opened() ? ExtractArchive(file, destination, onProgress, onCreateError) : kExtractOpenFailed;
  } else {
    const ResourceName name(L, 1);
    OwnResource res(kPayloadType, name.Get());
    if (!res.Loaded()) {
      Trace(L"Fun:%s ,LoadResource failed!\r\n", kUnCompress);
      return PushResult(L, false);
    }
    if (name.ByName()) Trace(L"UnCompress %s to %s .\r\n", name.Text().c_str(), destination.c_str());
    result = ExtractResourceArchive(res, destination, onProgress, onCreateError);
  }

  lua_settop(L, n);
  if (result == kExtractOk) {
    Trace(L"UnCompress successful.\r\n");
    return PushResult(L, true);
  }
  Trace(L"Fun:%s, Description: UnCompress failed.!\r\n", kUnCompress);
  return PushResult(L, false);
}

int Lua_ExtractResource(lua_State* L) {
  std::wstring destination;
  if (!ExpandArgPath(L, 3, kExtractResource, destination)) return PushResult(L, false);
  const std::wstring type = ArgText(L, 1);
  const ResourceName name(L, 2);
  OwnResource res(type.c_str(), name.Get());
  if (!res.Loaded()) {
    Trace(L"Fun:%s ,LoadResource failed!\r\n", kExtractResource);
    return PushResult(L, false);
  }

  HANDLE file = CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Trace(L"Fun:%s ,CreateFileW %s failed!\r\n", kExtractResource, destination.c_str());
    return PushResult(L, false);
  }

  const auto* bytes = static_cast<const unsigned char*>(res.Data());
  bool ok;
  // Resource types compare without case, so "_7z" is the payload too.
  if (_wcsicmp(type.c_str(), kPayloadType) == 0 && !RestorePayloadBytes(res.Data(), res.Size())) {
    unsigned char head[2] = {bytes[0], bytes[1]};
    ExchangeFirstTwo(head, 2);
    ok = WriteAll(file, head, 2) && WriteAll(file, bytes + 2, res.Size() - 2);
  } else {
    ok = WriteAll(file, bytes, res.Size());
  }
  if (!CloseHandle(file)) ok = false;
  if (!ok) Trace(L"Fun:%s ,WriteFile %s failed!\r\n", kExtractResource, destination.c_str());
  return PushResult(L, ok);
}

}  // namespace brix
