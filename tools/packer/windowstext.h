#pragma once
// Text at the border with the Windows API: the packer keeps UTF-8, the
// system takes and gives UTF-16.
#include <windows.h>

#include <string>

namespace quillpack {

// UTF-8 to UTF-16; input that is not UTF-8 is a PackError naming it.
std::wstring Wide(const std::string& utf8);

// A path for the file functions: '/' made '\', and a long one turned into
// the "\\?\" form that is not limited to MAX_PATH.
std::wstring WidePath(const std::string& utf8);

// UTF-16 to UTF-8; false for an unpaired surrogate (written as U+FFFD).
bool ToUtf8(const std::wstring& wide, std::string& utf8);

// The system's text for an error code, in English where the system has it.
std::string WindowsError(DWORD code);

}  // namespace quillpack
