#pragma once
// Drives the product's statistics library: loads it during the install,
// reports who is reporting, passes actions to it on the one statistics
// worker and closes it at the end.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "handles.h"
#include "productconstants.h"
#include "singleton.h"
#include "statentrypoints.h"
#include "threadpool.h"

namespace brix {

class TamStatModule : public ThreadPoolImpl,
                      public CSingleT<TamStatModule>,
                      public std::enable_shared_from_this<TamStatModule> {
 public:
  static constexpr const wchar_t* kLibraryName = product::kStatLibraryName;
  static constexpr int32_t kAppId = product::kStatAppId;
  static constexpr int32_t kFallbackUnionId = product::kStatFallbackUnionId;
  static constexpr int32_t kSmallestUnionId = 100;
  static constexpr int32_t kDispatchPort = product::kStatDispatchPort;
  static constexpr int32_t kCloseArgument = product::kStatCloseArgument;

  TamStatModule() : TamStatModule(std::wstring()) {}
  // ownFolder: where the library is looked for when the given path does not
  // load, with a trailing backslash; empty means the executable's folder.
  explicit TamStatModule(std::wstring ownFolder);
  ~TamStatModule() override;

  // dataFolder is accepted for the library boundary; the installer passes "".
  bool Init(const std::wstring& registryKey, const std::wstring& host, const std::wstring& libraryPath,
            const std::wstring& dataFolder);
  // Queues the action for the statistics worker; true when queued.
  bool AddAction(int32_t action);
  // Stops the worker (queued actions are dropped), closes the library.
  void Uninit();

 private:
  template <class Fn>
  Fn Entry(stat::EntryPoint e) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(entries_[e]));
  }
  HMODULE LoadStatLibrary(const std::wstring& libraryPath) const;
  void ReportAction(int32_t action);

  FARPROC entries_[stat::kEntryPointCount] = {};
  UniqueLibrary library_;
  int32_t appId_ = 0;
  std::wstring registryKey_;
  std::wstring host_;
  // The host as handed to the library, kept until it is closed in case the
  // library holds on to the pointer.
  std::string ansiHost_;
  std::wstring ownFolder_;
  // Serialises every call into the library and the fields above between
  // Init, the worker and Uninit.
  std::mutex libraryMutex_;
};

// Union id stored under HKEY_CURRENT_USER\<registryKey> "UnionId": a
// REG_DWORD of at least 100, otherwise 27021.
int32_t ReadUnionId(const std::wstring& registryKey);

}  // namespace brix
