#include "uibuilder.h"

#include "layoutdoc.h"
#include "strconv.h"
#include "uicontainer.h"
#include "uicontrols.h"
#include "uidiag.h"
#include "uimanager.h"

namespace brixui {
namespace {

struct Build {
  std::string file;
  IDialogBuilderCallback* callback;
  IQueryControlText* query;

  CControlUI* Make(const LayoutNode& n) {
    CControlUI* c = CDialogBuilder::CreateControlForTag(n.tag);
    if (!c && callback) c = callback->CreateControl(brix::Utf8ToWide(n.tag).c_str());
    if (!c) {
      Diag(file, n.line, n.column, "unknown element <" + n.tag + "> (dropped)");
      return nullptr;
    }
    std::wstring name;
    if (const std::string* v = n.Find("name")) name = brix::Utf8ToWide(*v);
    for (const auto& a : n.attrs) {
      std::wstring value = brix::Utf8ToWide(a.value);
      if (a.name == "text" && query) value = query->QueryControlText(value, name);
      if (!c->SetAttribute(brix::Utf8ToWide(a.name), value))
        Diag(file, n.line, n.column, "attribute \"" + a.name + "\" of <" + n.tag + "> not taken (value \"" + a.value + "\")");
    }
    if (!n.children.empty()) {
      auto* container = dynamic_cast<CContainerUI*>(c);
      if (!container) {
        Diag(file, n.line, n.column, "<" + n.tag + "> is not a container (children dropped)");
      } else {
        for (const auto& child : n.children) {
          if (CControlUI* sub = Make(child)) container->Add(sub);
        }
      }
    }
    return c;
  }
};

std::wstring LastReport(const DiagCollector& diag, const std::string& fallback) {
  if (diag.Reports().empty()) return brix::Utf8ToWide(fallback);
  return brix::Utf8ToWide(FormatDiag(diag.Reports().back()).substr(4));  // without "ui: "
}

}  // namespace

CControlUI* CDialogBuilder::CreateControlForTag(const std::string& tag) {
  if (tag == "Control") return new CControlUI;
  if (tag == "Label" || tag == "Text") return new CLabelUI;
  if (tag == "Button") return new CButtonUI;
  if (tag == "Option" || tag == "CheckBox") return new COptionUI;
  if (tag == "Progress") return new CProgressUI;
  if (tag == "RichEdit" || tag == "Edit") return new CRichEditUI;
  if (tag == "Container") return new CContainerUI;
  if (tag == "VerticalLayout") return new CVerticalLayoutUI;
  if (tag == "HorizontalLayout") return new CHorizontalLayoutUI;
  if (tag == "TabLayout") return new CTabLayoutUI;
  return nullptr;
}

CControlUI* CDialogBuilder::Create(const std::wstring& wfile, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, IQueryControlText* query) {
  m_error.clear();
  const std::string file = brix::WideToUtf8(wfile);
  DiagCollector diag;
  std::vector<uint8_t> bytes;
  if (!CPaintManagerUI::LoadSkinFile(file, bytes)) {
    m_error = LastReport(diag, file + ": cannot be read");
    return nullptr;
  }
  LayoutNode root;
  if (!ReadLayout(file, bytes.data(), bytes.size(), "Window", root)) {
    m_error = LastReport(diag, file + ": not a layout");
    return nullptr;
  }
  if (manager) {
    Size2 sz;
    Insets in;
    uint32_t color;
    int i;
    if (const auto* v = root.Find("size"); v && ParseSize(*v, sz)) manager->SetInitSize(sz.cx, sz.cy);
    if (const auto* v = root.Find("caption"); v && ParseInsets(*v, in)) manager->SetCaptionRect(in);
    if (const auto* v = root.Find("roundcorner"); v && ParseSize(*v, sz)) manager->SetRoundCorner({sz.cx, sz.cy});
    if (const auto* v = root.Find("bkcolor"); v && ParseColor(*v, color)) manager->SetWindowBkColor(color);
    int shadow = manager->GetShadowSize();
    uint32_t shadowColor = manager->GetShadowColor();
    if (const auto* v = root.Find("shadowsize"); v && ParseInt(*v, i)) shadow = i;
    if (const auto* v = root.Find("shadowcolor"); v && ParseColor(*v, color)) shadowColor = color;
    manager->SetShadow(shadow, shadowColor);
    std::vector<FontSpec> fonts;
    if (const auto* v = root.Find("fontfile"); v && !v->empty()) {
      std::vector<uint8_t> fontBytes;
      LayoutNode fontRoot;
      // A missing or broken font file costs the fonts, not the window.
      if (CPaintManagerUI::LoadSkinFile(*v, fontBytes) &&
          ReadLayout(*v, fontBytes.data(), fontBytes.size(), "Fonts", fontRoot))
        fonts = FontsOf(fontRoot);
    }
    for (const auto& f : FontsOf(root)) fonts.push_back(f);
    manager->SetFonts(fonts);
  }
  const LayoutNode* top = nullptr;
  for (const auto& c : root.children) {
    if (c.tag == "Font") continue;
    if (top) {
      Diag(file, c.line, c.column, "<Window> holds one root control; <" + c.tag + "> dropped");
      continue;
    }
    top = &c;
  }
  if (!top) {
    Diag(file, root.line, root.column, "<Window> holds no control");
    m_error = LastReport(diag, file + ": no control");
    return nullptr;
  }
  Build build{file, callback, query};
  CControlUI* control = build.Make(*top);
  if (!control) m_error = LastReport(diag, file + ": root control could not be made");
  return control;
}

}  // namespace brixui
