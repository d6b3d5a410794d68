#include "tamstatmodule.h"

#include <vector>

#include "handles.h"
#include "pathutil.h"
#include "productconstants.h"
#include "strconv.h"
#include "versioninfo.h"

namespace brix {
namespace {

std::wstring ExecutableFolder() {
  const std::wstring path = OwnExecutablePath();
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// A path that does not expand into 260 units stays as written; loading it
// then fails like any missing library.
std::wstring ExpandEnvironment(const std::wstring& text) {
  std::wstring expanded;
  return ExpandPath(text, expanded) ? expanded : text;
}

}  // namespace

int32_t ReadUnionId(const std::wstring& registryKey) {
  UniqueRegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, registryKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return TamStatModule::kFallbackUnionId;
  int32_t value = 0;
  DWORD type = REG_NONE, size = sizeof value;
  const LONG result = RegQueryValueExW(key.get(), product::kUnionIdValue, nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size);
  // Only a number counts: the bytes of a 4-byte text or binary value would
  // otherwise be reported as an id.
  if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value || value < TamStatModule::kSmallestUnionId)
    return TamStatModule::kFallbackUnionId;
  return value;
}

TamStatModule::TamStatModule(std::wstring ownFolder) : ThreadPoolImpl(1), ownFolder_(std::move(ownFolder)) {}

// The worker runs code that uses this object's members: stop it before they
// are destroyed (the base destructor would only stop it afterwards).
TamStatModule::~TamStatModule() { Stop(); }

HMODULE TamStatModule::LoadStatLibrary(const std::wstring& libraryPath) const {
  // The install path may still hold environment references such as
  // %ProgramFiles%, which the file system does not resolve.
  const std::wstring path = ExpandEnvironment(libraryPath);
  if (!path.empty())
    if (HMODULE lib = LoadLibraryW(path.c_str())) return lib;
  const std::wstring folder = ownFolder_.empty() ? ExecutableFolder() : ownFolder_;
  return LoadLibraryW((folder + kLibraryName).c_str());
}

bool TamStatModule::Init(const std::wstring& registryKey, const std::wstring& host, const std::wstring& libraryPath,
                         const std::wstring& /*dataFolder*/) {
  // Started before the library lock is taken: a Stop running at the same
  // time holds the pool while it waits for a worker that may want the lock.
  Start();
  std::lock_guard<std::mutex> lock(libraryMutex_);
  appId_ = kAppId;
  registryKey_ = registryKey;
  host_ = host;

  HMODULE lib = LoadStatLibrary(libraryPath);
  if (!lib) return false;
  // A second Init gives back the reference of the first.
  library_.reset(lib);
  for (int i = 0; i < stat::kEntryPointCount; ++i) entries_[i] = GetProcAddress(lib, stat::kEntryPointNames[i]);

  const int32_t unionId = ReadUnionId(registryKey_);
  if (auto appId = Entry<stat::StatAppIdFn>(stat::kStatAppId)) appId(static_cast<uint8_t>(appId_));
  if (auto setUnion = Entry<stat::StatUnionIdFn>(stat::kStatUnionId)) setUnion(unionId);
  const auto version = OwnProductVersion();
  if (auto setVersion = Entry<stat::StatVersionExFn>(stat::kStatVersionEx))
    setVersion(version[0], version[1], version[2], version[3]);
  ansiHost_ = WideToAnsi(host_);
  if (auto dispatch = Entry<stat::StatDispatchAddrFn>(stat::kStatDispatchAddr)) dispatch(ansiHost_.c_str(), kDispatchPort);
  auto init = Entry<stat::StatInitFn>(stat::kStatInit);
  return init ? init() != 0 : false;
}

bool TamStatModule::AddAction(int32_t action) {
  // The module outlives its worker (the destructor stops it first), so the
  // task may refer to it without owning it.
  return AddTask(std::make_shared<EasyTask0>([this, action] { ReportAction(action); }));
}

void TamStatModule::ReportAction(int32_t action) {
  std::lock_guard<std::mutex> lock(libraryMutex_);
  if (auto report = Entry<stat::StatMutilActionFn>(stat::kStatMutilAction)) {
    const int32_t actions[1] = {action};
    report(actions, 1, false);
  }
}

void TamStatModule::Uninit() {
  Stop();
  std::lock_guard<std::mutex> lock(libraryMutex_);
  if (auto offline = Entry<stat::StatOfflineFn>(stat::kStatOffline)) offline();
  if (auto close = Entry<stat::StatCloseFn>(stat::kStatClose)) close(kCloseArgument);
  library_.reset();
  for (auto& e : entries_) e = nullptr;
  ansiHost_.clear();
}

}  // namespace brix
