#include "progressdisplay.h"

#include <cwchar>

#include "ownresource.h"

namespace brix {

std::wstring ProgressLabelText(int value) {
  wchar_t text[64];
  swprintf(text, 64, L"安装中...  (%d\uFF05)", value);
  return text;
}

std::wstring InstallBackgroundImage(int index) {
  wchar_t text[64];
  swprintf(text, 64, L"Image/InstallBk%d.png", index);
  return text;
}

uint32_t PayloadProgressFigure(uint64_t payloadBytes) {
  return static_cast<uint32_t>(static_cast<double>(payloadBytes) * 0.000309651279221807 / 100.0);
}

uint64_t PayloadResourceSize() {
  const OwnResource payload(L"_7Z", L"APP.7Z");
  return payload.Loaded() ? payload.Size() : 0;
}

}  // namespace brix
