#pragma once
// Running snippets in the engine's state from host-function tests.
#include <string>

#include "brixscriptengine.h"
#include "scriptglobals.h"
#include "strconv.h"

namespace scripttest {

inline lua_State* State() { return brix::BrixScriptEngine::Instance().GetState(); }

// Runs `code`, which leaves its answer in the global `r`; returns it as text
// ("nil" for nil, "true"/"false" for booleans, "script error: ..." when the
// code raised one instead of ending the test process through the error box).
inline std::wstring Eval(const std::string& code) {
  const std::string chunk = "r = nil local ok, e = pcall(function()\n" + code +
                            "\nend) if not ok then r = 'script error: ' .. tostring(e) "
                            "else r = (r == nil) and 'nil' or tostring(r) end";
  brix::BrixScriptEngine::Instance().DoBufferLua(chunk.data(), chunk.size(), "test");
  return brix::ReadGlobalText(State(), "r");
}

// A Lua string literal for a host path.
inline std::string Lit(const std::wstring& s) {
  std::string out = "'";
  for (char c : brix::WideToUtf8(s)) {
    if (c == '\\' || c == '\'') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace scripttest
