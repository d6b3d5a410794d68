#include "comsession.h"

#include <objbase.h>
// GDI+ needs min/max from windows.h, which NOMINMAX hides.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace brix {

ComGdiplusSession::ComGdiplusSession() : com_(CoInitialize(nullptr)) {
  Gdiplus::GdiplusStartupInput input;
  input.GdiplusVersion = 1;
  input.DebugEventCallback = nullptr;
  input.SuppressBackgroundThread = FALSE;
  input.SuppressExternalCodecs = FALSE;
  if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

ComGdiplusSession::~ComGdiplusSession() { End(); }

void ComGdiplusSession::End() {
  if (ended_) return;
  ended_ = true;
  if (token_) Gdiplus::GdiplusShutdown(token_);
  token_ = 0;
  // Balanced only when it took: a thread already in another apartment keeps
  // its own initialisation.
  if (SUCCEEDED(com_)) CoUninitialize();
}

}  // namespace brix
