#pragma once
// The RT_VERSION resource (VS_VERSIONINFO) read by GetFileVersionInfoW.
#include <array>
#include <cstdint>
#include <string>

#include "binary.h"

namespace quillpack {

struct VersionInfo {
  std::array<uint16_t, 4> version{};  // file and product version
  std::string versionText;            // as written in product.ini
  // UTF-8; empty ones are left out of the string table.
  std::string productName, company, description, copyright;
};

// Strings go into the block "080404b0" (Chinese, simplified; Unicode) and
// the translation list names the same language and code page.
Bytes BuildVersionResource(const VersionInfo& info);

}  // namespace quillpack
