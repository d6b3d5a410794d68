#pragma once
// Text values of script values; texts of blocks, which may have no
// terminator inside the block, are converted by their length.
#include <windows.h>

#include <cstddef>
#include <string>

#include "lua.h"
#include "strconv.h"

namespace brix::objects {

// Units before the first NUL, never more than maxUnits. Byte-wise for the
// wide form so unaligned blocks (a RawBuffer offset) are read safely.
size_t BoundedLength(const unsigned char* bytes, size_t maxUnits);
size_t BoundedLengthW(const unsigned char* bytes, size_t maxUnits);

// The text of an AString / WString block up to its first NUL or its end.
std::string AStringText(lua_State* L, int idx);
std::wstring WStringText(lua_State* L, int idx);

// The texts New and __concat take from a script value: strings and numbers
// by their UTF-8 text, our two text types by their content, anything else
// (nil, boolean, table, RawBuffer, ...) as the empty text.
std::wstring ValueToWString(lua_State* L, int idx);
std::string ValueToAString(lua_State* L, int idx);

// Pushes text converted to UTF-8.
void PushWide(lua_State* L, const std::wstring& text);
void PushAnsi(lua_State* L, const std::string& text);

}  // namespace brix::objects
