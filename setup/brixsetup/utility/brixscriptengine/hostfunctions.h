#pragma once
#include "lua.h"

namespace brix {

// Registers the host functions as globals, in catalogue order.
void RegisterHostFunctions(lua_State* L);
// Catalogue names in registration order, and how many are registered.
const char* const* HostFunctionNames(int* count);

}  // namespace brix
