#include "singleinstance.h"

#include <cwchar>

#include "productconstants.h"
#include "trace.h"

namespace brix {

HANDLE CreateAppInstance(const std::wstring& baseName, int appId) {
  wchar_t objectName[MAX_PATH] = {};
  if (appId != 0)
    _snwprintf(objectName, MAX_PATH - 1, L"%s%d", baseName.c_str(), appId);
  else
    _snwprintf(objectName, MAX_PATH - 1, L"%s", baseName.c_str());
  Trace(L" szObjectName = %s ", objectName);

  // A null DACL: installers of every account must see the object.
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES sa = {sizeof sa, &sd, TRUE};

  HANDLE mutex = CreateMutexW(&sa, FALSE, objectName);
  if (!mutex || GetLastError() != ERROR_ALREADY_EXISTS) return nullptr;

  if (HWND other = FindWindowW(product::kInstallerWindowClass, nullptr)) SwitchToThisWindow(other, TRUE);
  return mutex;
}

}  // namespace brix
