#pragma once
// One process-wide object of T, created on first use and held by a shared
// pointer until process exit.
#include <memory>
#include <mutex>

namespace brix {

template <class T>
class CSingleT {
 public:
  static std::shared_ptr<T> Instance() {
    static std::once_flag once;
    static std::shared_ptr<T> instance;
    std::call_once(once, [] { instance = std::make_shared<T>(); });
    return instance;
  }

 protected:
  CSingleT() = default;
  ~CSingleT() = default;
};

}  // namespace brix
