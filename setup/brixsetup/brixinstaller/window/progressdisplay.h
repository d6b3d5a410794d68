#pragma once
// The install view's figures: the progress label, the payload-size figure
// published for the scripts, and the timers that drive them.
#include <cstdint>
#include <string>

namespace brix {

// The progress timer on the bar and the background timer on the install view.
constexpr unsigned kProgressTimerId = 1990;
constexpr unsigned kProgressTickMs = 150;
constexpr unsigned kBackgroundTimerId = 1989;

// "安装中...  (N％)": two blanks, the full-width percent sign.
std::wstring ProgressLabelText(int value);
// The install view's background <index> (0 or 1): "Image/InstallBk<index>.png".
std::wstring InstallBackgroundImage(int index);
// The payload's size scaled for `global_install_progress_elapse`
// (221 for 71676710 bytes).
uint32_t PayloadProgressFigure(uint64_t payloadBytes);
// Size of the executable's payload resource; 0 when it has none.
uint64_t PayloadResourceSize();

}  // namespace brix
