#pragma once
// The script function an export becomes (DllManager Get): a closure with the
// upvalues (return type tag, caller-cleans flag, export address).
#include "lua.h"

namespace brix::objects {

int NativeThunk(lua_State* L);

}  // namespace brix::objects
