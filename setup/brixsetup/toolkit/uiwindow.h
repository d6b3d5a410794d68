#pragma once
// Skinned windows: CWindowWnd (the native window), CNotifyPump (a map of
// notification handlers) and WindowImplBase, which builds itself from a
// layout file of the skin and draws without a system frame, with rounded
// corners and a soft shadow.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "uibase.h"
#include "uimanager.h"

namespace brixui {

class CShadowUI;

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }

  HWND Create(HWND parent, LPCWSTR name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT, int y = CW_USEDEFAULT,
              int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT, HMENU menu = nullptr);
  void ShowWindow(bool show = true, bool takeFocus = true);
  // Posts WM_CLOSE with the result code as the first parameter.
  void Close(UINT result = IDOK);
  // On the owner window, or on the work area of the window's monitor.
  void CenterWindow();
  // Big and small icon from an icon resource of the module instance.
  void SetIcon(UINT resourceId);
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  LRESULT PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);

 protected:
  // The class name registered with the system.
  virtual LPCWSTR WindowClassName() const = 0;
  virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND hwnd) {}

  HWND m_hWnd = nullptr;

 private:
  bool RegisterWindowClass();
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

// Notification handlers by type and control name, checked in the order
// they were mapped; an empty control name matches any control.
class CNotifyPump {
 public:
  using Handler = std::function<void(TNotifyUI&)>;
  virtual ~CNotifyPump() = default;
  void MapNotify(const wchar_t* type, const wchar_t* controlName, Handler handler);
  // Runs the first entry that matches; true when one did.
  bool LoopDispatch(TNotifyUI& msg);

 private:
  struct Entry {
    std::wstring type, name;
    Handler handler;
  };
  std::vector<Entry> m_entries;
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback,
                       public IQueryControlText {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  CPaintManagerUI& GetPaintManager() { return m_pm; }
  CControlUI* FindControl(const std::wstring& name) const { return m_pm.FindControl(name); }

  // INotifyUI: the window's map, then the base's ("minbtn" minimises,
  // "timer" goes to OnTimerNotify).
  void Notify(TNotifyUI& msg) override;
  // IMessageFilterUI: nothing by default.
  LRESULT MessageHandler(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override;
  // IDialogBuilderCallback: no controls of its own by default.
  CControlUI* CreateControl(const wchar_t* className) override { return nullptr; }
  // IQueryControlText: keeps the layout's text by default.
  std::wstring QueryControlText(const std::wstring& text, const std::wstring& controlName) override { return text; }

 protected:
  // The layout file inside the skin source.
  virtual std::wstring SkinFile() = 0;
  // Every message of the window; the base's handling is this function.
  virtual LRESULT OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // After the skin is built, while the window is being created.
  virtual void OnInitWindow() {}
  virtual void OnTimerNotify(TNotifyUI& msg) {}
  virtual LRESULT OnDestroyWindow(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // Messages the base does not handle itself (WM_USER and up, among others).
  virtual LRESULT OnCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);
  // The skin could not be built: a message box naming the file, the line
  // and the reason, then the process ends with exit code 0.
  virtual void OnSkinFailure(const std::wstring& reason);
  // Esc: a click on the close button ("BtnClose" or "closebtn") when the
  // skin shows one, else WM_CLOSE.
  virtual void OnEscape();

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) final;
  LRESULT OnCreate();
  LRESULT OnNcHitTest(LPARAM lParam);
  void UpdateFrame();

  CPaintManagerUI m_pm;

 private:
  // The shadow is drawn for one DPI; a new scale makes a new one.
  void RebuildShadow();
  CShadowUI* m_shadow = nullptr;
  int m_shadowDpi = 0;
};

}  // namespace brixui
