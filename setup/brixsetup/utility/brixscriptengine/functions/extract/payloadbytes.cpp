#include "payloadbytes.h"

#include <mutex>
#include <set>

namespace brix {

bool RestorePayloadBytes(void* data, DWORD size) {
  static std::mutex guard;
  static std::set<const void*> restored;
  if (!data || size < 2) return true;
  std::lock_guard<std::mutex> lock(guard);
  if (restored.count(data)) return true;

  auto* p = static_cast<unsigned char*>(data);
  DWORD old = 0;
  // One call covers both bytes, even if they straddle a page boundary.
  if (!VirtualProtect(p, 2, PAGE_READWRITE, &old)) return false;
  ExchangeFirstTwo(p, 2);
  DWORD ignored = 0;
  VirtualProtect(p, 2, old, &ignored);
  restored.insert(data);
  return true;
}

}  // namespace brix
