#pragma once
// Runs a clean-up on every path out of a scope, Lua errors (which unwind as
// C++ exceptions in this build) included.
#include <utility>

namespace brix {

template <class F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F f) : f_(std::move(f)) {}
  ScopeGuard(ScopeGuard&& o) noexcept : f_(std::move(o.f_)), active_(o.active_) { o.active_ = false; }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() { if (active_) f_(); }
  void Dismiss() { active_ = false; }

 private:
  F f_;
  bool active_ = true;
};

template <class F>
ScopeGuard<F> MakeScopeGuard(F f) { return ScopeGuard<F>(std::move(f)); }

}  // namespace brix

#define BRIX_CONCAT_(a, b) a##b
#define BRIX_CONCAT(a, b) BRIX_CONCAT_(a, b)
#define BRIX_ON_EXIT(code) auto BRIX_CONCAT(brixGuard_, __LINE__) = ::brix::MakeScopeGuard([&]() { code; })
