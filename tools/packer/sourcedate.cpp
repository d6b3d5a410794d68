#include "sourcedate.h"

#include "binary.h"

namespace quillpack {

TimeLimit ParseSourceDateEpoch(const char* value) {
  TimeLimit limit;
  if (!value || !*value) return limit;
  const std::string text = value;
  constexpr uint64_t kLast = 253402300799;  // 9999-12-31 23:59:59
  uint64_t seconds = 0;
  bool ok = text.size() <= 12;
  for (char c : text) {
    ok = ok && c >= '0' && c <= '9';
    if (ok) seconds = seconds * 10 + uint64_t(c - '0');
  }
  if (!ok || seconds > kLast)
    throw PackError("SOURCE_DATE_EPOCH \"" + text +
                    "\" is not a number of seconds since 1970-01-01 UTC (as `date +%s` prints it)");
  limit.latest = (seconds + 11644473600u) * 10000000u;
  return limit;
}

}  // namespace quillpack
