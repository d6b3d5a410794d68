#include "versioninfo.h"

#include <vector>

#include "pathutil.h"

namespace brix {

bool ReadFixedFileInfo(const std::wstring& file, VS_FIXEDFILEINFO& info) {
  if (file.empty()) return false;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size + 1, 0);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  info = *fixed;
  return true;
}

std::array<int32_t, 4> ProductVersionOf(const std::wstring& file) {
  VS_FIXEDFILEINFO info = {};
  if (!ReadFixedFileInfo(file, info) || info.dwSignature != 0xFEEF04BD) return {1, 0, 0, 1};
  return {static_cast<int32_t>(HIWORD(info.dwProductVersionMS)), static_cast<int32_t>(LOWORD(info.dwProductVersionMS)),
          static_cast<int32_t>(HIWORD(info.dwProductVersionLS)), static_cast<int32_t>(LOWORD(info.dwProductVersionLS))};
}

std::array<int32_t, 4> OwnProductVersion() {
  const std::wstring self = OwnExecutablePath();
  if (self.empty()) return {1, 0, 0, 1};
  return ProductVersionOf(self);
}

}  // namespace brix
