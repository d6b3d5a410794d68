#pragma once
// Containers: children laid out with an inset and child padding. The plain
// container stacks every child on its whole inner rectangle; vertical and
// horizontal layouts share the space along their axis (fixed sizes first,
// the rest split among the others within their min and max); the tab layout
// shows one child.
#include <memory>
#include <vector>

#include "uicontrol.h"

namespace brixui {

class CContainerUI : public CControlUI {
 public:
  ~CContainerUI() override;
  const wchar_t* GetClass() const override { return L"Container"; }
  bool IsClass(const wchar_t* name) const override;

  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;
  // The container owns what it is given.
  bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  bool Remove(CControlUI* control);  // deletes it
  void RemoveAll();

  // Depth-first, in layout order, this container excluded.
  CControlUI* FindSubControl(const std::wstring& name) const;
  std::vector<CControlUI*> FindSubControlsByClass(const wchar_t* className) const;
  template <class F>
  void ForEachDescendant(F&& f) const {
    for (const auto& c : m_items) {
      f(c.get());
      if (auto* sub = dynamic_cast<CContainerUI*>(c.get())) sub->ForEachDescendant(f);
    }
  }

  void SetInset(const Insets& inset) { m_inset = inset; NeedUpdate(); }
  void SetChildPadding(int padding) { m_childPadding = padding; NeedUpdate(); }

  void SetManager(CPaintManagerUI* manager, CContainerUI* parent) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(RECT rc) override;
  void DoPaint(HDC hdc, const RECT& rcPaint) override;
  CControlUI* FindControlAt(POINT pt) override;
  // Whether the child is shown by this container (the tab layout shows one).
  virtual bool ShowsChild(const CControlUI* child) const { return true; }

 protected:
  RECT InnerRect() const;
  // Places the floating children (they take no part in the flow).
  void PlaceFloat(CControlUI* child, const RECT& parentRc);
  // The children one after another, top to bottom or left to right.
  void ArrangeLinear(bool vertical);

  std::vector<std::unique_ptr<CControlUI>> m_items;
  Insets m_inset;
  int m_childPadding = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"VerticalLayout"; }
  bool IsClass(const wchar_t* name) const override;
  void SetPos(RECT rc) override;
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"HorizontalLayout"; }
  bool IsClass(const wchar_t* name) const override;
  void SetPos(RECT rc) override;
};

class CTabLayoutUI : public CContainerUI {
 public:
  const wchar_t* GetClass() const override { return L"TabLayout"; }
  bool IsClass(const wchar_t* name) const override;
  int GetCurSel() const { return m_curSel; }
  // Shows the child; "tabselect" goes out (wParam new, lParam old index)
  // only with `notify`. False for an index that is not a child.
  bool SelectItem(int index, bool notify = true);
  bool SelectItem(CControlUI* child, bool notify = true);
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  void SetPos(RECT rc) override;
  bool AddAt(CControlUI* control, int index) override;
  AccRole GetAccRole() const override { return AccRole::PageTabList; }

 private:
  void ApplySelection();
  int m_curSel = 0;
};

}  // namespace brixui
