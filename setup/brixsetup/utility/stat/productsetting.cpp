#include "productsetting.h"

#include <windows.h>

#include "ownresource.h"
#include "productconstants.h"
#include "strconv.h"

namespace brix {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::string ProductSetting(const wchar_t* name, const char* fallback) {
  const OwnResource res(L"CFG", name);
  std::string value;
  if (res.Loaded()) value.assign(static_cast<const char*>(res.Data()), res.Size());
  size_t begin = 0, end = value.size();
  while (begin < end && IsBlank(value[begin])) ++begin;
  while (end > begin && IsBlank(value[end - 1])) --end;
  value = value.substr(begin, end - begin);
  // A host name goes into a URL and to the statistics library as C text: a
  // NUL or line break inside would cut or split it.
  for (char c : value)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return fallback;
  return value.empty() ? fallback : value;
}

std::wstring StatDispatchHost() { return Utf8ToWide(ProductSetting(L"STAT_HOST", product::kDefaultStatHost)); }

std::wstring CounterEndpointUrl() {
  return L"https://" + Utf8ToWide(ProductSetting(L"COUNTER_HOST", product::kDefaultCounterHost)) + product::kCounterPath;
}

}  // namespace brix
