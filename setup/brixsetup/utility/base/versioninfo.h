#pragma once
// The fixed part of a file's version resource.
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

namespace brix {

// False when the file has no readable version resource.
bool ReadFixedFileInfo(const std::wstring& file, VS_FIXEDFILEINFO& info);

// Product version: major, minor, build, revision; 1.0.0.1 when the file has
// no readable version resource.
std::array<int32_t, 4> ProductVersionOf(const std::wstring& file);
// The same for the running executable.
std::array<int32_t, 4> OwnProductVersion();

}  // namespace brix
