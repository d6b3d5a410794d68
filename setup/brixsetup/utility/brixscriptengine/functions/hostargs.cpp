#include "hostargs.h"

#include "pathutil.h"
#include "trace.h"

namespace brix {

bool ExpandArgPath(lua_State* L, int index, const wchar_t* function, std::wstring& out) {
  const std::wstring raw = ArgText(L, index);
  if (ExpandPath(raw, out)) return true;
  Trace(L"Fun:%s, Description:%s does not expand into 260 units!\r\n", function, raw.c_str());
  return false;
}

bool ExistingArgPath(lua_State* L, int index, const wchar_t* function, std::wstring& out) {
  if (!ExpandArgPath(L, index, function, out)) return false;
  if (PathExists(out)) return true;
  TraceMissing(function, out);
  return false;
}

void TraceMissing(const wchar_t* function, const std::wstring& path) {
  Trace(L"Fun:%s, Description:%s it's not exists!\r\n", function, path.c_str());
}

}  // namespace brix
