#pragma once
// The leaf controls: label, button, option (check box or radio group
// member), progress bar and the rich edit (a hosted native edit control,
// which brings selection, clipboard and IME with it).
#include "uicontrol.h"

namespace brixui {

class CLabelUI : public CControlUI {
 public:
  const wchar_t* GetClass() const override { return L"Label"; }
  bool IsClass(const wchar_t* name) const override;
  AccRole GetAccRole() const override;
};

class CButtonUI : public CLabelUI {
 public:
  CButtonUI();
  const wchar_t* GetClass() const override { return L"Button"; }
  bool IsClass(const wchar_t* name) const override;
  bool IsInteractive() const override { return true; }
  void Activate() override;
  AccRole GetAccRole() const override;
  std::wstring GetAccDefaultAction() const override { return L"Press"; }
};

class COptionUI : public CButtonUI {
 public:
  COptionUI() { m_align = HAlign::Left; }
  const wchar_t* GetClass() const override { return L"Option"; }
  bool IsClass(const wchar_t* name) const override;
  bool IsSelected() const { return m_selected; }
  // Sends "selectchanged" when the state changes and `notify` is set; a
  // group member being selected deselects the others of its group.
  void Selected(bool selected, bool notify = true);
  const std::wstring& GetGroup() const { return m_group; }
  void Activate() override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override;
  DWORD GetAccState() const override;
  std::wstring GetAccDefaultAction() const override;

 protected:
  void PaintStatusImage(HDC hdc) override;
  RECT TextRect() const override;
  uint32_t CurrentTextColor() const override;
  // Without state images the option draws its own box or circle.
  bool DrawsIndicator() const { return m_normalImage.empty() && m_selectedImage.empty(); }

 private:
  bool m_selected = false;
  std::wstring m_group, m_selectedImage, m_selectedHotImage;
  uint32_t m_selectedTextColor = 0;
};

class CProgressUI : public CLabelUI {
 public:
  const wchar_t* GetClass() const override { return L"Progress"; }
  bool IsClass(const wchar_t* name) const override;
  int GetMinValue() const { return m_min; }
  int GetMaxValue() const { return m_max; }
  int GetValue() const { return m_value; }
  void SetMinValue(int v);
  void SetMaxValue(int v);
  // Clamped to the range; repaints only the bar.
  void SetValue(int v);
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return AccRole::ProgressBar; }
  std::wstring GetAccValue() const override;

 protected:
  void PaintStatusImage(HDC hdc) override;

 private:
  int m_min = 0, m_max = 100, m_value = 0;
  std::wstring m_foreImage;
  uint32_t m_foreColor = 0;
};

class CRichEditUI : public CControlUI {
 public:
  CRichEditUI();
  ~CRichEditUI() override;
  const wchar_t* GetClass() const override { return L"RichEdit"; }
  bool IsClass(const wchar_t* name) const override;
  std::wstring GetText() const override;
  void SetText(const std::wstring& text) override;
  void SetFocus() override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(RECT rc) override;
  void SetEnabled(bool enabled = true) override;
  AccRole GetAccRole() const override { return AccRole::EditableText; }
  std::wstring GetAccValue() const override { return GetText(); }
  std::wstring GetAccName() const override;
  HWND GetNativeWindow() const { return m_hwnd; }
  // The manager calls this after every layout: shows, hides and moves the
  // native edit with the control's effective visibility.
  void SyncNative();
  // From the native edit's EN_CHANGE.
  void OnNativeChange();

 protected:
  void PaintText(HDC hdc) override;

 private:
  void CreateNative();
  HWND m_hwnd = nullptr;
  int m_maxChar = 260;
  bool m_readOnly = false, m_password = false;
  int m_nativeDpi = 0;
};

}  // namespace brixui
