#pragma once
// Product version of a file's version resource.
#include <array>
#include <cstdint>
#include <string>

namespace brix {

// major, minor, build, revision; 1.0.0.1 when the file has no readable
// version resource.
std::array<int32_t, 4> ProductVersionOf(const std::wstring& file);
// The same for the running executable.
std::array<int32_t, 4> OwnProductVersion();

}  // namespace brix
