// Host functions that put the payload on disk: unpacking a 7z archive (the
// "_7Z" payload resource or a file) and copying a resource into a file.
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <optional>
#include <string>

#include "extract/archivesource.h"
#include "extract/extractarchive.h"
#include "extract/payloadbytes.h"
#include "extract/writeall.h"
#include "handles.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "ownresource.h"
#include "pathutil.h"
#include "scriptcallback.h"
#include "trace.h"

namespace brix {
namespace {

constexpr wchar_t kUnCompress[] = L"Lua_UnCompress7z";
constexpr wchar_t kExtractResource[] = L"Lua_ExtractResource";
constexpr wchar_t kPayloadType[] = L"_7Z";

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

// The payload is decoded where the resource is mapped (it stays mapped for
// the life of the process), its first two bytes exchanged as they are read.
ExtractResult ExtractResourceArchive(const OwnResource& res, const std::wstring& destination,
                                     ScriptCallback* progress, ScriptCallback* createError) {
  MemorySource source(static_cast<const Byte*>(res.Data()), res.Size(), true);
  return ExtractArchive(source, destination, progress, createError);
}

}  // namespace

int Lua_UnCompress7z(lua_State* L) {
  const int n = lua_gettop(L);
  if (n < 2 || n > 5) {
    Trace(L"Fun:%s, Description: UnCompress failed.!\r\n", kUnCompress);
    return PushBool(L, false);
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
  if (!ExistingArgPath(L, 2, kUnCompress, destination)) return PushBool(L, false);

  ExtractResult result;
  if (fromFile) {
    std::wstring archive;
    if (!ExistingArgPath(L, 1, kUnCompress, archive)) return PushBool(L, false);
    Trace(L"UnCompress %s to %s .\r\n", archive.c_str(), destination.c_str());
    FileSource file(archive);
    result = file.Opened() ? ExtractArchive(file, destination, onProgress, onCreateError)
                           : ExtractResult::Of(ExtractResult::Kind::OpenFailed);
  } else {
    const ResourceName name(L, 1);
    OwnResource res(kPayloadType, name.Get());
    if (!res.Loaded()) {
      Trace(L"Fun:%s ,LoadResource failed!\r\n", kUnCompress);
      return PushBool(L, false);
    }
    if (name.ByName()) Trace(L"UnCompress %s to %s .\r\n", name.Text().c_str(), destination.c_str());
    result = ExtractResourceArchive(res, destination, onProgress, onCreateError);
  }

  lua_settop(L, n);
  if (result.Ok()) {
    Trace(L"UnCompress successful.\r\n");
    return PushBool(L, true);
  }
  Trace(L"Fun:%s, Description: UnCompress failed.!\r\n", kUnCompress);
  return PushBool(L, false);
}

int Lua_ExtractResource(lua_State* L) {
  std::wstring destination;
  if (!ExpandArgPath(L, 3, kExtractResource, destination)) return PushBool(L, false);
  const std::wstring type = ArgText(L, 1);
  const ResourceName name(L, 2);
  OwnResource res(type.c_str(), name.Get());
  if (!res.Loaded()) {
    Trace(L"Fun:%s ,LoadResource failed!\r\n", kExtractResource);
    return PushBool(L, false);
  }

  UniqueFileHandle file(CreateFileW(destination.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    Trace(L"Fun:%s ,CreateFileW %s failed!\r\n", kExtractResource, destination.c_str());
    return PushBool(L, false);
  }

  const auto* bytes = static_cast<const unsigned char*>(res.Data());
  bool ok;
  // Resource types compare without case, so "_7z" is the payload too.
  if (_wcsicmp(type.c_str(), kPayloadType) == 0 && res.Size() >= 2) {
    unsigned char head[2] = {bytes[0], bytes[1]};
    ExchangeFirstTwo(head, 2);
    ok = WriteAll(file.get(), head, 2) && WriteAll(file.get(), bytes + 2, res.Size() - 2);
  } else {
    ok = WriteAll(file.get(), bytes, res.Size());
  }
  // A close that fails may have lost the last bytes.
  if (!CloseHandle(file.release())) ok = false;
  if (!ok) {
    Trace(L"Fun:%s ,WriteFile %s failed!\r\n", kExtractResource, destination.c_str());
    // Never leave a cut file that looks like the resource.
    DeleteFileW(destination.c_str());
  }
  return PushBool(L, ok);
}

}  // namespace brix
