#pragma once
// What the start-up decides from the command line and the configuration
// variables, apart from the steps so that it can be tested on a plain state.
// Callers hold the engine's state lock.
#include <windows.h>

#include <string>

#include "cmdline.h"
#include "lua.h"

namespace brix {

// How long a script error's box waits for a person in silent mode before it
// closes itself and the program ends.
constexpr DWORD kUnattendedErrorBoxMs = 60000;

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

// The folder the "InstallPath" option asks for: the value with the product
// folder appended unless it ends with it. Absent when the option is missing
// or empty; TooLong when the folder does not fit 260 units whole (nothing
// may then be installed, anywhere).
enum class InstallPathOption { Absent, Given, TooLong };
InstallPathOption InstallPathFrom(const CommandLineMap& args, std::wstring* folder);

// "InstallPath" (when given and usable) into global_install_path, and
// "InstallNormalQuillon" 1 into ShouldStartWithWindowsChk.
void ApplyCommandLineOverrides(lua_State* L, const CommandLineMap& args);

// An install folder that can be used whole: its expansion fits 260 units.
// (Whether an empty or relative folder makes sense is the chunk's to say.)
bool InstallFolderFits(const std::wstring& folder);

}  // namespace brix
