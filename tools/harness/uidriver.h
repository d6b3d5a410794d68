#pragma once
// Drives a skinned window from outside its process, as a screen reader or a
// test tool does: the controls come from the window's IAccessible (names,
// roles, states, values, screen locations); presses go through real mouse
// input at a control's centre or through the keyboard; screenshots are the
// screen's pixels at the window. The calling thread needs COM.
#include <windows.h>

#include <oleacc.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace harness {

struct UiElement {
  long childId = 0;
  std::wstring name;
  std::wstring value;
  long role = 0;   // ROLE_SYSTEM_*
  long state = 0;  // STATE_SYSTEM_*
  RECT location{0, 0, 0, 0};  // screen pixels
  bool visible() const { return !(state & STATE_SYSTEM_INVISIBLE); }
  bool checked() const { return (state & STATE_SYSTEM_CHECKED) != 0; }
  bool enabled() const { return !(state & STATE_SYSTEM_UNAVAILABLE); }
  bool focused() const { return (state & STATE_SYSTEM_FOCUSED) != 0; }
};

// A key press (and release) through real keyboard input, Shift held when
// asked; reaches whichever window has the keyboard focus.
void SendKey(WORD vk, bool shift = false);

// "push button", "check button", ... for a ROLE_SYSTEM_* value.
std::wstring RoleName(long role);
// "checked unavailable focused invisible" (only the bits set).
std::wstring StateText(long state);

class UiDriver {
 public:
  // A visible top-level window of the class (and title, when not empty),
  // waited for up to timeoutMs; null when none came.
  static HWND WaitForWindow(const std::wstring& className, const std::wstring& title, DWORD timeoutMs);

  explicit UiDriver(HWND window);
  ~UiDriver();
  UiDriver(const UiDriver&) = delete;
  UiDriver& operator=(const UiDriver&) = delete;

  HWND Window() const { return hwnd_; }
  // Whether the window answered WM_GETOBJECT with an IAccessible.
  bool Connected() const { return acc_ != nullptr; }

  std::vector<UiElement> List();
  // The first element with this name (visible ones first).
  bool Find(const std::wstring& name, UiElement& out);
  // Polls the list until `done` holds or the time is up.
  bool WaitFor(const std::function<bool(const std::vector<UiElement>&)>& done, DWORD timeoutMs);
  // Waits for a visible element of that name with all `stateBits` set.
  bool WaitForElement(const std::wstring& name, long stateBits, DWORD timeoutMs);

  // Real mouse input (SendInput) at the element's centre.
  bool Click(const std::wstring& name);
  // Keyboard: the element takes the focus (accSelect), then Space.
  bool PressByKeyboard(const std::wstring& name);
  // The screen reader's default action.
  bool DoDefaultAction(const std::wstring& name);
  // Clicks into the element and types the text (Unicode key input).
  bool Type(const std::wstring& name, const std::wstring& text);
  // Clicks into the element, selects its whole line and types over it.
  bool ReplaceText(const std::wstring& name, const std::wstring& text);
  // One key (down and up), e.g. VK_TAB, with Shift when asked.
  void Key(WORD vk, bool shift = false);

  // The window's pixels from the screen, top-down 0x00RRGGBB.
  bool Capture(std::vector<uint32_t>& pixels, int& width, int& height);
  bool SaveScreenshot(const std::wstring& pngPath);

 private:
  bool TypeText(const std::wstring& text);

  HWND hwnd_;
  IAccessible* acc_ = nullptr;
};

}  // namespace harness
