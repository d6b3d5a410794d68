#pragma once
// Running snippets in the engine's state from host-function tests.
#include <string>

#include "brixscriptengine.h"
#include "scriptglobals.h"
#include "strconv.h"

namespace scripttest {

inline lua_State* State() { return brix::BrixScriptEngine::Instance().GetState(); }

// Runs `code`, which leaves its answer in the global `r`; returns it as text
// ("nil" for nil, "true"/"false" for booleans).
inline std::wstring Eval(const std::string& code) {
  const std::string chunk = "r = nil " + code + "\n r = (r == nil) and 'nil' or tostring(r)";
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
