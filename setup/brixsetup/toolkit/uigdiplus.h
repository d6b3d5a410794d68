#pragma once
// GDI+ needs min/max from windows.h, which NOMINMAX hides.
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
