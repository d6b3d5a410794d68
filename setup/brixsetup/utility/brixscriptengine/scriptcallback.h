#pragma once
// A script function handed to a host function, held in the registry for
// the length of that host function's call.
#include <string>

#include "lua.h"

namespace brix {

class ScriptCallback {
 public:
  // Takes the value on top of the stack when it is a function (popping it);
  // any other value stays where it is and leaves the callback empty.
  explicit ScriptCallback(lua_State* L);
  ~ScriptCallback() { Release(); }
  ScriptCallback(const ScriptCallback&) = delete;
  ScriptCallback& operator=(const ScriptCallback&) = delete;

  bool Empty() const { return ref_ < 0; }
  int Ref() const { return ref_; }
  // (text, number) -> integer; 2 when the call failed past the handler.
  int Call(const wchar_t* text, unsigned number);
  // (text) -> nothing.
  void Call(const wchar_t* text);
  void Release();

 private:
  bool Invoke(const wchar_t* text, const unsigned* number, int* result);
  int ref_;
  lua_State* L_;
};

}  // namespace brix
