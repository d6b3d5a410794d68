#pragma once
// Runs the five install hooks in their order, one step at a time.
#include <mutex>

namespace brix {

class CInstallMgr {
 public:
  static CInstallMgr& Instance();
  virtual ~CInstallMgr() = default;

  void BeforeInit();
  void BeforeInstall();
  void InstallExecute();
  void BeforeComplete();
  void AfterComplete();

 private:
  CInstallMgr() = default;
  void RunHook(const char* name);
  // Held for the whole of a step; a step may re-enter from its own thread.
  std::recursive_mutex mutex_;
};

}  // namespace brix
