#include "skincheck.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "filebytes.h"
#include "folderlisting.h"
#include "imagenames.h"
#include "layoutdoc.h"
#include "skinarchive.h"
#include "skincontrols.h"
#include "uidiag.h"

namespace quillpack {
namespace {

using brixui::LayoutNode;

// Each layout tag's class and the classes it derives from, as the
// toolkit's builder (CreateControlForTag) and IsClass answer; a test keeps
// the lines below in step with them.
const std::map<std::string, std::string>& ClassChains() {
  static const std::map<std::string, std::string> chains = {
      {"Control", "Control"},
      {"Label", "Label Control"},
      {"Text", "Label Control"},
      {"Button", "Button Label Control"},
      {"Option", "Option Button Label Control"},
      {"CheckBox", "Option Button Label Control"},
      {"Progress", "Progress Label Control"},
      {"RichEdit", "RichEdit Control"},
      {"Edit", "RichEdit Control"},
      {"Container", "Container Control"},
      {"VerticalLayout", "VerticalLayout Container Control"},
      {"HorizontalLayout", "HorizontalLayout Container Control"},
      {"TabLayout", "TabLayout Container Control"},
  };
  return chains;
}

bool IsClass(const std::string& tag, const std::string& className) {
  const auto it = ClassChains().find(tag);
  if (it == ClassChains().end()) return false;
  const std::string chain = " " + it->second + " ";
  return chain.find(" " + className + " ") != std::string::npos;
}

bool EndsWithSvg(const std::string& name) {
  const std::string key = brixui::NormaliseEntryName(name);
  return key.size() >= 4 && key.compare(key.size() - 4, 4, ".svg") == 0;
}

struct Named {
  const LayoutNode* node;
  std::vector<std::string> ancestors;  // names of the enclosing controls
};

class SkinChecker {
 public:
  explicit SkinChecker(CheckReport& report) : report_(report) {}

  void Run() {
    const std::string folder = report_.root() + "/skin";
    std::vector<FolderEntry> entries;
    try {
      entries = ListFolder(folder);
    } catch (const PackError& e) {
      report_.Problem(e.what());
      return;
    }
    for (const FolderEntry& e : entries)
      if (!e.folder) files_[brixui::NormaliseEntryName(e.relative)] = e.relative;
    if (files_.empty()) {
      report_.Problem("skin", 0, "the skin folder holds no files");
      return;
    }
    // The toolkit's readers report through its diagnostics; each report is
    // a problem of the skin.
    const brixui::DiagSink previous = brixui::SetDiagSink([this](const brixui::DiagReport& r) {
      report_.Problem(r.file.empty() ? std::string("skin") : r.file, r.line, r.what);
    });
    CheckLayout();
    brixui::SetDiagSink(previous);
  }

 private:
  // The file's name as the skin holds it, "" when it has none (entry names
  // are compared as the toolkit does, without regard to case).
  std::string Find(const std::string& entry) const {
    const auto it = files_.find(brixui::NormaliseEntryName(entry));
    return it == files_.end() ? std::string() : it->second;
  }

  bool ReadFile(const std::string& entry, LayoutNode& root, const char* rootTag) {
    Bytes bytes;
    try {
      bytes = ReadFileBytes(report_.root() + "/skin/" + entry);
    } catch (const PackError& e) {
      report_.Problem(e.what());
      return false;
    }
    return brixui::ReadLayout("skin/" + entry, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), rootTag,
                              root);
  }

  void CheckLayout() {
    const std::string wanted = brix::skin::kLayoutFile;
    layout_ = Find(wanted);
    if (layout_.empty()) {
      report_.Problem("skin/" + wanted, 0, "missing; the installer window reads its layout from it");
      return;
    }
    const std::string file = "skin/" + layout_;
    LayoutNode root;
    if (!ReadFile(layout_, root, "Window")) return;
    if (const std::string* fonts = root.Find("fontfile"); fonts && !fonts->empty()) {
      const std::string found = Find(*fonts);
      LayoutNode fontRoot;
      if (found.empty())
        report_.Problem(file, root.line, "fontfile \"" + *fonts + "\" is not in the skin (the window uses its default fonts)");
      else
        ReadFile(found, fontRoot, "Fonts");
    }
    const LayoutNode* top = nullptr;
    for (const LayoutNode& c : root.children) {
      if (c.tag == "Font") continue;
      if (top) {
        report_.Problem(file, c.line, "<Window> holds one root control; <" + c.tag + "> dropped");
        continue;
      }
      top = &c;
    }
    if (!top) {
      report_.Problem(file, root.line, "<Window> holds no control");
      return;
    }
    std::vector<std::string> ancestors;
    Walk(*top, ancestors);
    CheckWindowControls();
    for (const char* image : brix::skin::kInstallBackgroundImages)
      CheckImage(image, "skin", 0, "the window's install view shows it");
  }

  void Walk(const LayoutNode& n, std::vector<std::string>& ancestors) {
    const std::string file = "skin/" + layout_;
    if (!n.known) {
      report_.Problem(file, n.line, "unknown element <" + n.tag + "> (dropped)");
      return;
    }
    const std::vector<brixui::AttrSpec>* spec = brixui::AttributesOf(n.tag);
    for (const brixui::LayoutAttr& a : n.attrs) {
      // Values the schema lets through that the control itself refuses.
      int i = 0;
      const bool refused = (a.name == "role" && a.value != "statictext" && a.value != "graphic" && a.value != "none") ||
                           ((a.name == "width" || a.name == "height") && brixui::ParseInt(a.value, i) && i < 0);
      if (refused)
        report_.Problem(file, n.line, "attribute \"" + a.name + "\" of <" + n.tag + "> not taken (value \"" + a.value + "\")");
      for (const brixui::AttrSpec& s : *spec) {
        brixui::ImageRef ref;
        if (s.type == brixui::AttrType::Image && a.name == s.name && !a.value.empty() &&
            brixui::ParseImageRef(a.value, ref))
          CheckImage(ref.file, file, n.line, "");
      }
    }
    const std::string* name = n.Find("name");
    if (name && !name->empty()) {
      auto& list = named_[*name];
      list.push_back({&n, ancestors});
      ancestors.push_back(*name);
    }
    for (const LayoutNode& c : n.children) Walk(c, ancestors);
    if (name && !name->empty()) ancestors.pop_back();
  }

  void CheckWindowControls() {
    const std::string file = "skin/" + layout_;
    for (const brix::skin::SkinControl* c : brix::skin::kWindowControls) {
      const std::string cls = c->className;
      const std::string what = (cls[0] == 'A' || cls[0] == 'E' || cls[0] == 'O' ? "an " : "a ") + cls + " \"" + c->name + "\"" +
                               (c->view ? std::string(" in \"") + c->view->name + "\"" : std::string());
      const auto found = named_.find(c->name);
      if (found == named_.end()) {
        if (c->required)
          report_.Problem(file, 0, "the installer window needs " + what + "; the layout has none");
        else
          report_.Note(file, 0, "the installer window uses " + what + " when there is one; the layout has none");
        continue;
      }
      const Named& first = found->second.front();
      const LayoutNode& n = *first.node;
      if (found->second.size() > 1)
        report_.Problem(file, found->second[1].node->line,
                        std::string("\"") + c->name + "\" is named twice (first on line " + std::to_string(n.line) +
                            "); the window takes one of them");
      if (!IsClass(n.tag, c->className)) {
        report_.Problem(file, n.line,
                        std::string("\"") + c->name + "\" is a <" + n.tag + ">; the installer window takes it only as a " +
                            c->className + " (or a class derived from it) and goes on without it");
        continue;
      }
      if (c->view) {
        bool inside = false;
        for (const std::string& a : first.ancestors) inside = inside || a == c->view->name;
        if (!inside)
          report_.Problem(file, n.line,
                          std::string("\"") + c->name + "\" is not inside \"" + c->view->name +
                              "\", where the installer window looks for it");
      }
    }
  }

  // A referenced image: missing at every scale is a problem, missing at
  // some a note (the toolkit resamples the nearest). SVG is drawn at every
  // scale from its one file.
  void CheckImage(const std::string& image, const std::string& file, int line, const std::string& why) {
    if (!checkedImages_.insert(brixui::NormaliseEntryName(image)).second) return;
    const std::string because = why.empty() ? std::string() : " (" + why + ")";
    if (EndsWithSvg(image)) {
      if (Find(image).empty()) report_.Problem(file, line, "image \"" + image + "\" is not in the skin" + because);
      return;
    }
    std::string missing;
    size_t present = 0;
    for (int dpi : brixui::kSkinDpis) {
      const std::string scaled = brixui::ScaledImageName(image, dpi);
      if (!Find(scaled).empty()) {
        ++present;
      } else {
        missing += (missing.empty() ? "" : ", ") + std::to_string(brixui::DpiPercent(dpi)) + " %";
      }
    }
    if (present == 0)
      report_.Problem(file, line, "image \"" + image + "\" is not in the skin at any scale" + because);
    else if (!missing.empty())
      report_.Note(file, line, "image \"" + image + "\" lacks the scales " + missing + "; the toolkit resamples the nearest");
  }

  CheckReport& report_;
  std::map<std::string, std::string> files_;  // normalised name -> name
  std::string layout_;
  std::map<std::string, std::vector<Named>> named_;
  std::set<std::string> checkedImages_;
};

}  // namespace

void CheckSkin(CheckReport& report) { SkinChecker(report).Run(); }

}  // namespace quillpack
