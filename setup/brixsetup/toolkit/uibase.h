#pragma once
// Types shared by the toolkit's window side: notifications, the interfaces
// a window implements, control events.
#include <windows.h>

#include <string>

namespace brixui {

class CControlUI;
class CPaintManagerUI;

// A notification from a control to the window ("click", "selectchanged",
// "timer", "tabselect", "textchanged", "setfocus", "killfocus").
struct TNotifyUI {
  std::wstring sType;
  CControlUI* pSender = nullptr;
  WPARAM wParam = 0;  // "timer": the timer id; "tabselect": new index
  LPARAM lParam = 0;  // "tabselect": old index
  DWORD dwTimestamp = 0;
  POINT ptMouse{};
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

// Sees every window message before the toolkit handles it.
class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

// Creates controls for layout elements the toolkit does not know.
class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  virtual CControlUI* CreateControl(const wchar_t* className) = 0;
};

// Lets the window replace a control's text from the layout (for example
// "$global_install_path$") as the control is built.
class IQueryControlText {
 public:
  virtual ~IQueryControlText() = default;
  // Returns the text to use; the default keeps the layout's text.
  virtual std::wstring QueryControlText(const std::wstring& text, const std::wstring& controlName) = 0;
};

enum class UiEventType {
  MouseEnter,
  MouseLeave,
  MouseMove,
  ButtonDown,
  ButtonUp,
  KeyDown,
  SetFocus,
  KillFocus,
  Timer,
};

struct TEventUI {
  UiEventType type = UiEventType::MouseMove;
  POINT ptMouse{};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  WORD keyState = 0;
  DWORD timestamp = 0;
};

}  // namespace brixui
