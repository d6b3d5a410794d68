#include "progressdisplay.h"

#include <cwchar>

#include "ownresource.h"
#include "skincontrols.h"
#include "strconv.h"

namespace brix {

std::wstring ProgressLabelText(int value) {
  wchar_t text[64];
  swprintf(text, 64, L"安装中...  (%d\uFF05)", value);
  return text;
}

std::wstring InstallBackgroundImage(int index) {
  return Utf8ToWide(skin::kInstallBackgroundImages[index & 1]);
}

uint32_t PayloadProgressFigure(uint64_t payloadBytes) {
  return static_cast<uint32_t>(static_cast<double>(payloadBytes) * 0.000309651279221807 / 100.0);
}

uint64_t PayloadResourceSize() {
  const OwnResource payload(L"_7Z", L"APP.7Z");
  return payload.Loaded() ? payload.Size() : 0;
}

}  // namespace brix
