#pragma once
// What the start-up decides from the command line and the configuration
// variables, apart from the steps so that it can be tested on a plain state.
// Callers hold the engine's state lock.
#include <windows.h>

#include <string>

#include "cmdline.h"
#include "lua.h"

namespace brix {

// The single-instance object: the configuration's own name (then without the
// application id), or the default name with global_app_id.
struct SingleInstanceName {
  std::wstring baseName;
  int appId = 0;
};
SingleInstanceName ChooseSingleInstanceName(lua_State* L);

// "InstallListenWnd" as an unsigned decimal number; 0 when absent.
HWND ListenWindowFrom(const CommandLineMap& args);

// "InstallSlience" with exactly "true", else global_ss_install when
// global_enable_ss_install allows it.
bool DecideSilent(lua_State* L, const CommandLineMap& args);

// A second installer may run alongside when "InstallSlience" is present at
// all, whatever its value.
bool MayRunAlongside(const CommandLineMap& args);

// "InstallPath" (with the product folder appended unless it ends with it)
// into global_install_path, and "InstallNormalQuillon" 1 into
// ShouldStartWithWindowsChk.
void ApplyCommandLineOverrides(lua_State* L, const CommandLineMap& args);

}  // namespace brix
