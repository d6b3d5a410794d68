#pragma once
// Helpers of the toolkit tests: the built test skin as the skin source, a
// recorder of notifications, a message pump.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "brixui.h"
#include "comsession.h"
#include "strconv.h"
#include "testpaths.h"

namespace toolkittest {

// The skin archive bytes stay alive for the process, as a resource would.
inline bool UseSkinZip(const wchar_t* name = L"uitest.zip", const wchar_t* password = L"") {
  static std::vector<std::string> keep;
  keep.push_back(testsupport::ReadFileBytes(testsupport::BinPath(name)));
  return brixui::CPaintManagerUI::SetResourceZip(keep.back().data(), static_cast<unsigned>(keep.back().size()),
                                                 password);
}

// GDI+ and COM for the whole test program.
inline brix::ComGdiplusSession& Session() {
  static brix::ComGdiplusSession session;
  return session;
}

struct Recorded {
  std::wstring type, name;
  WPARAM wParam;
  LPARAM lParam;
};

class Recorder : public brixui::INotifyUI {
 public:
  void Notify(brixui::TNotifyUI& msg) override {
    events.push_back({msg.sType, msg.pSender ? msg.pSender->GetName() : L"", msg.wParam, msg.lParam});
  }
  size_t Count(const std::wstring& type, const std::wstring& name = L"") const {
    size_t n = 0;
    for (const auto& e : events)
      if (e.type == type && (name.empty() || e.name == name)) ++n;
    return n;
  }
  std::vector<Recorded> events;
};

// Pumps messages (with the toolkit's keyboard routing) until `done` or the
// timeout; true when `done` came true.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (true) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (brixui::CPaintManagerUI::TranslateMessage(&msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done && done()) return true;
    if (GetTickCount() - start > timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

inline void PumpFor(DWORD ms) { PumpUntil(nullptr, ms); }

}  // namespace toolkittest
