#pragma once
#include <string>

namespace brix {

// Local application data, else roaming, else the temporary folder; plus
// `subFolder` when not empty and a trailing backslash. Created with its
// parents when missing (failure ignored).
std::wstring AppDataFolder(const std::wstring& subFolder);

}  // namespace brix
