#include "uicontainer.h"

#include <algorithm>
#include <cwchar>

#include "strconv.h"
#include "uimanager.h"

namespace brixui {

CContainerUI::~CContainerUI() {
  // Children first, while the manager can still forget them.
  m_items.clear();
}

bool CContainerUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"Container") == 0 || CControlUI::IsClass(name);
}

CControlUI* CContainerUI::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return m_items[static_cast<size_t>(index)].get();
}

int CContainerUI::GetItemIndex(const CControlUI* control) const {
  for (size_t i = 0; i < m_items.size(); ++i)
    if (m_items[i].get() == control) return static_cast<int>(i);
  return -1;
}

bool CContainerUI::Add(CControlUI* control) { return AddAt(control, GetCount()); }

bool CContainerUI::AddAt(CControlUI* control, int index) {
  if (!control || index < 0 || index > GetCount()) return false;
  m_items.insert(m_items.begin() + index, std::unique_ptr<CControlUI>(control));
  control->SetManager(m_manager, this);
  NeedUpdate();
  return true;
}

bool CContainerUI::Remove(CControlUI* control) {
  const int i = GetItemIndex(control);
  if (i < 0) return false;
  Invalidate();
  m_items.erase(m_items.begin() + i);
  NeedUpdate();
  return true;
}

void CContainerUI::RemoveAll() {
  Invalidate();
  m_items.clear();
  NeedUpdate();
}

CControlUI* CContainerUI::FindSubControl(const std::wstring& name) const {
  for (const auto& c : m_items) {
    if (c->GetName() == name) return c.get();
    if (auto* sub = dynamic_cast<CContainerUI*>(c.get()))
      if (CControlUI* found = sub->FindSubControl(name)) return found;
  }
  return nullptr;
}

std::vector<CControlUI*> CContainerUI::FindSubControlsByClass(const wchar_t* className) const {
  std::vector<CControlUI*> out;
  ForEachDescendant([&](CControlUI* c) {
    if (c->IsClass(className)) out.push_back(c);
  });
  return out;
}

void CContainerUI::SetManager(CPaintManagerUI* manager, CContainerUI* parent) {
  CControlUI::SetManager(manager, parent);
  for (auto& c : m_items) c->SetManager(manager, this);
}

bool CContainerUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  const std::string v = brix::WideToUtf8(value);
  if (name == L"inset") {
    Insets in;
    if (!ParseInsets(v, in)) return false;
    SetInset(in);
    return true;
  }
  if (name == L"childpadding") {
    int i;
    if (!ParseInt(v, i)) return false;
    SetChildPadding(i);
    return true;
  }
  return CControlUI::SetAttribute(name, value);
}

RECT CContainerUI::InnerRect() const {
  RECT rc = m_rcItem;
  const RECT in = ScaleInsets(m_inset);
  rc.left += in.left;
  rc.top += in.top;
  rc.right -= in.right;
  rc.bottom -= in.bottom;
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

void CContainerUI::PlaceFloat(CControlUI* child, const RECT& prc) {
  const Insets& p = child->GetFloatPos();
  RECT rc{prc.left + Scale(p.left), prc.top + Scale(p.top), prc.left + Scale(p.right), prc.top + Scale(p.bottom)};
  if (child->GetFixedWidth() > 0 && p.right <= p.left) rc.right = rc.left + Scale(child->GetFixedWidth());
  if (child->GetFixedHeight() > 0 && p.bottom <= p.top) rc.bottom = rc.top + Scale(child->GetFixedHeight());
  child->SetPos(rc);
}

void CContainerUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  const RECT inner = InnerRect();
  for (auto& c : m_items) {
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      PlaceFloat(c.get(), m_rcItem);
      continue;
    }
    const RECT pad = ScaleInsets(c->GetPadding());
    c->SetPos({inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom});
  }
}

void CContainerUI::DoPaint(HDC hdc, const RECT& rcPaint) {
  RECT tmp;
  if (!IntersectRect(&tmp, &m_rcItem, &rcPaint)) return;
  CControlUI::DoPaint(hdc, rcPaint);
  // Children are clipped to the container.
  const int saved = SaveDC(hdc);
  IntersectClipRect(hdc, m_rcItem.left, m_rcItem.top, m_rcItem.right, m_rcItem.bottom);
  RECT clip;
  IntersectRect(&clip, &m_rcItem, &rcPaint);
  for (auto& c : m_items) {
    if (!c->IsVisible() || !ShowsChild(c.get())) continue;
    c->DoPaint(hdc, clip);
  }
  RestoreDC(hdc, saved);
}

CControlUI* CContainerUI::FindControlAt(POINT pt) {
  if (!m_visible || !PtInRect(&m_rcItem, pt)) return nullptr;
  // Last painted is on top: search backwards, floats first.
  for (int pass = 0; pass < 2; ++pass) {
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
      CControlUI* c = it->get();
      if (c->IsFloat() != (pass == 0) || !c->IsVisible() || !ShowsChild(c)) continue;
      if (CControlUI* hit = c->FindControlAt(pt)) return hit;
    }
  }
  return m_mouse ? this : nullptr;
}

// --- vertical ---------------------------------------------------------------

bool CVerticalLayoutUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"VerticalLayout") == 0 || CContainerUI::IsClass(name);
}

namespace {

// One axis of a linear layout: fixed children take their size, the others
// share what is left within their min and max.
struct Slot {
  CControlUI* control;
  int size;      // along the axis
  int cross;     // across, 0 = fill
  RECT pad;
  bool flexible;
  int minSize, maxSize;
};

void Distribute(std::vector<Slot>& slots, int avail) {
  int fixedTotal = 0, flexCount = 0;
  for (auto& s : slots) {
    if (s.flexible) ++flexCount;
    else fixedTotal += s.size;
  }
  int remaining = avail - fixedTotal;
  // Flexible children clamped at min or max leave the share to the others.
  std::vector<bool> settled(slots.size(), false);
  for (int round = 0; round < 4 && flexCount > 0; ++round) {
    const int share = remaining > 0 ? remaining / flexCount : 0;
    bool changed = false;
    for (size_t i = 0; i < slots.size(); ++i) {
      auto& s = slots[i];
      if (!s.flexible || settled[i]) continue;
      const int clamped = std::max(s.minSize, std::min(share, s.maxSize));
      if (clamped != share) {
        s.size = clamped;
        settled[i] = true;
        remaining -= clamped;
        --flexCount;
        changed = true;
      }
    }
    if (!changed) break;
  }
  if (flexCount > 0) {
    const int share = remaining > 0 ? remaining / flexCount : 0;
    int extra = remaining > 0 ? remaining - share * flexCount : 0;
    for (size_t i = 0; i < slots.size(); ++i) {
      if (!slots[i].flexible || settled[i]) continue;
      slots[i].size = share + (extra > 0 ? 1 : 0);  // spread the rounding rest
      if (extra > 0) --extra;
    }
  }
}

}  // namespace

// Both linear layouts work in (across, along) coordinates: the vertical
// one's own, the horizontal one's with x and y exchanged.
void CContainerUI::ArrangeLinear(bool vertical) {
  auto flip = [vertical](RECT r) { return vertical ? r : RECT{r.top, r.left, r.bottom, r.right}; };
  auto flipSize = [vertical](SIZE z) { return vertical ? z : SIZE{z.cy, z.cx}; };
  const RECT inner = flip(InnerRect());
  const int innerAcross = inner.right - inner.left, innerAlong = inner.bottom - inner.top;
  std::vector<Slot> slots;
  int used = 0;
  for (auto& c : m_items) {
    if (!c->IsVisible()) continue;
    if (c->IsFloat()) {
      PlaceFloat(c.get(), m_rcItem);
      continue;
    }
    const RECT pad = flip(ScaleInsets(c->GetPadding()));
    const SIZE want = flipSize(c->EstimateSize(flipSize({innerAcross - pad.left - pad.right, innerAlong})));
    const SIZE minSize = flipSize(c->GetMinSize()), maxSize = flipSize(c->GetMaxSize());
    Slot s{c.get(), want.cy, want.cx, pad, want.cy == 0, Scale(minSize.cy),
           std::max(Scale(minSize.cy), maxSize.cy >= 100000 ? 1 << 28 : Scale(maxSize.cy))};
    if (!s.flexible) s.size = std::max(s.minSize, std::min(s.size, s.maxSize));
    used += pad.top + pad.bottom;
    slots.push_back(s);
  }
  if (!slots.empty()) used += Scale(m_childPadding) * static_cast<int>(slots.size() - 1);
  Distribute(slots, innerAlong - used);
  int along = inner.top;
  for (auto& s : slots) {
    along += s.pad.top;
    const int fill = static_cast<int>(innerAcross - s.pad.left - s.pad.right);
    const int across = s.cross > 0 ? std::min(s.cross, fill) : fill;
    s.control->SetPos(flip({inner.left + s.pad.left, along, inner.left + s.pad.left + across, along + s.size}));
    along += s.size + s.pad.bottom + Scale(m_childPadding);
  }
}

void CVerticalLayoutUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  ArrangeLinear(true);
}

// --- horizontal -------------------------------------------------------------

bool CHorizontalLayoutUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"HorizontalLayout") == 0 || CContainerUI::IsClass(name);
}

void CHorizontalLayoutUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  ArrangeLinear(false);
}

// --- tab ----------------------------------------------------------------------

bool CTabLayoutUI::IsClass(const wchar_t* name) const {
  return std::wcscmp(name, L"TabLayout") == 0 || CContainerUI::IsClass(name);
}

bool CTabLayoutUI::SelectItem(int index, bool notify) {
  if (index < 0 || index >= GetCount()) return false;
  const int old = m_curSel;
  m_curSel = index;
  ApplySelection();
  NeedUpdate();
  if (notify && m_manager) m_manager->SendNotify(this, L"tabselect", static_cast<WPARAM>(index), old);
  return true;
}

void CTabLayoutUI::ApplySelection() {
  // Items other than the shown one are hidden, so IsVisible answers for
  // them as the user sees them (the focus leaves them too).
  for (size_t i = 0; i < m_items.size(); ++i)
    if (!m_items[i]->IsFloat()) m_items[i]->SetVisible(static_cast<int>(i) == m_curSel);
}

bool CTabLayoutUI::AddAt(CControlUI* control, int index) {
  if (!CContainerUI::AddAt(control, index)) return false;
  ApplySelection();
  return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* child, bool notify) { return SelectItem(GetItemIndex(child), notify); }

bool CTabLayoutUI::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"selectedid") {
    int i;
    if (!ParseInt(brix::WideToUtf8(value), i) || i < 0) return false;
    m_curSel = i;
    ApplySelection();
    return true;
  }
  return CContainerUI::SetAttribute(name, value);
}

void CTabLayoutUI::SetPos(RECT rc) {
  CControlUI::SetPos(rc);
  const RECT inner = InnerRect();
  for (auto& c : m_items) {
    if (c->IsFloat()) {
      PlaceFloat(c.get(), m_rcItem);
      continue;
    }
    const RECT pad = ScaleInsets(c->GetPadding());
    // Hidden items are laid out too, so switching shows them at once.
    c->SetPos({inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom});
  }
}

}  // namespace brixui
