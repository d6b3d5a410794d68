#pragma once
// Builds a control tree from a layout file of the skin source and applies
// the <Window> element's settings (size, caption, corners, shadow, fonts)
// to the paint manager.
#include <string>

#include "uibase.h"
#include "uicontrol.h"

namespace brixui {

class CDialogBuilder {
 public:
  // Null when the file gives no window (missing, unreadable, malformed, no
  // control); LastError() then says where and why. Smaller faults are
  // traced and the broken part is left out.
  CControlUI* Create(const std::wstring& file, IDialogBuilderCallback* callback, CPaintManagerUI* manager,
                     IQueryControlText* query = nullptr);
  // "file(line,col): reason" of the fault that stopped the build.
  const std::wstring& LastError() const { return m_error; }

  // A control for a layout tag, or null for tags the toolkit lacks.
  static CControlUI* CreateControlForTag(const std::string& tag);

 private:
  std::wstring m_error;
};

}  // namespace brixui
