// Host function for shell and internet shortcuts.
#include <windows.h>
#include <intshcut.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "handles.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "scopeguard.h"
#include "trace.h"

namespace brix {

namespace {

constexpr DWORD kAllContexts = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// A shell-link setting; false after its trace when it fails.
bool Set(HRESULT hr, const wchar_t* format, const std::wstring& text) {
  if (SUCCEEDED(hr)) return true;
  Trace(format, text.c_str());
  BRIX_TRACE_FAILURE(L"");
  return false;
}

}  // namespace

int Lua_CreateShortcut(lua_State* L) {
  // Balanced only when it took: a thread already in another apartment
  // keeps its own initialisation.
  const HRESULT com = CoInitialize(nullptr);
  BRIX_ON_EXIT(if (SUCCEEDED(com)) CoUninitialize());

  const std::wstring rawTarget = ArgText(L, 1);
  std::wstring link;
  if (!ExpandArgPath(L, 2, L"Lua_CreateShortcut", link)) return PushBool(L, false);
  const std::wstring linkFolder = FolderOf(link);
  if (!linkFolder.empty() && !PathFileExistsW(linkFolder.c_str())) SHCreateDirectory(nullptr, linkFolder.c_str());

  // The link object, asked for its file interface once it is set up.
  ComRef<IUniformResourceLocatorW> url;
  ComRef<IShellLinkW> shellLink;
  IUnknown* object = nullptr;
  if (PathIsURLW(rawTarget.c_str())) {
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, kAllContexts, IID_IUniformResourceLocatorW,
                                url.put()))) {
      BRIX_TRACE_FAILURE(L"CoCreateInstance(CLSID_InternetShortcut) failed!");
      return PushBool(L, false);
    }
    object = url.get();
    if (!Set(url->SetURL(rawTarget.c_str(), 0), L"SetURL %s failed!\r\n", rawTarget)) return PushBool(L, false);
  } else {
    std::wstring target;
    if (!ExpandArgPath(L, 1, L"Lua_CreateShortcut", target)) return PushBool(L, false);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, kAllContexts, IID_IShellLinkW, shellLink.put()))) {
      BRIX_TRACE_FAILURE(L"CoCreateInstance(CLSID_ShellLink) failed!");
      return PushBool(L, false);
    }
    object = shellLink.get();
    // Arguments and description only in the four-argument form.
    if (lua_gettop(L) >= 4) {
      if (!lua_isnil(L, 3)) {
        const std::wstring arguments = ArgText(L, 3);
        if (!Set(shellLink->SetArguments(arguments.c_str()), L"SetArguments %s failed!\r\n", arguments))
          return PushBool(L, false);
      }
      if (!lua_isnil(L, 4)) {
        const std::wstring description = ArgText(L, 4);
        if (!Set(shellLink->SetDescription(description.c_str()), L"SetDescription %s failed!\r\n", description))
          return PushBool(L, false);
      }
    }
    if (!Set(shellLink->SetPath(target.c_str()), L"SetPath %s failed!\r\n", target)) return PushBool(L, false);
    const std::wstring workingFolder = FolderOf(target);
    if (!Set(shellLink->SetWorkingDirectory(workingFolder.c_str()), L"SetWorkingDirectory %s failed!\r\n",
             workingFolder))
      return PushBool(L, false);
  }

  ComRef<IPersistFile> file;
  if (FAILED(object->QueryInterface(IID_IPersistFile, file.put()))) {
    BRIX_TRACE_FAILURE(L"QueryInterface IID_IPersistFile failed!");
    return PushBool(L, false);
  }
  const HRESULT saved = file->Save(link.c_str(), TRUE);
  if (FAILED(saved)) {
    Trace(L"Save %s failed!\r\n", link.c_str());
    BRIX_TRACE_FAILURE(L"");
    return PushBool(L, false);
  }
  Trace(L"Save Shortcut %s \r\n", link.c_str());
  return PushBool(L, true);
}

}  // namespace brix
