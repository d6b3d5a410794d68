#include "versioninfo.h"

#include <windows.h>

#include <vector>

namespace brix {

std::array<int32_t, 4> ProductVersionOf(const std::wstring& file) {
  const std::array<int32_t, 4> fallback{1, 0, 0, 1};
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return fallback;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return fallback;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
    return fallback;
  return {static_cast<int32_t>(HIWORD(info->dwProductVersionMS)), static_cast<int32_t>(LOWORD(info->dwProductVersionMS)),
          static_cast<int32_t>(HIWORD(info->dwProductVersionLS)), static_cast<int32_t>(LOWORD(info->dwProductVersionLS))};
}

std::array<int32_t, 4> OwnProductVersion() {
  wchar_t self[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {1, 0, 0, 1};
  return ProductVersionOf(self);
}

}  // namespace brix
