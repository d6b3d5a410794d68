#include "hostfunctions.h"

#include "functions/hostfunctions_decl.h"

namespace brix {
namespace {

struct HostFunction {
  const char* name;
  lua_CFunction fn;  // null until the family that owns it is built
};

// The catalogue, in the order scripts see it registered.
const HostFunction kCatalogue[] = {
    {"Lua_UnCompress7z", nullptr},
    {"Lua_RegSvr32", nullptr},
    {"Lua_RegistDll", nullptr},
    {"Lua_RegQuery", Lua_RegQuery},
    {"Lua_RegAdd", Lua_RegAdd},
    {"Lua_RegDel", Lua_RegDel},
    {"Lua_CreateShortcut", nullptr},
    {"Lua_CreateDirectory", Lua_CreateDirectory},
    {"Lua_CopyFile", Lua_CopyFile},
    {"Lua_CefRegister", nullptr},
    {"Lua_MoveFile", Lua_MoveFile},
    {"Lua_RenameFile", Lua_RenameFile},
    {"Lua_DeleteFile", Lua_DeleteFile},
    {"Lua_DeleteFileEx", Lua_DeleteFileEx},
    {"Lua_Exec", nullptr},
    {"Lua_ExplorerExec", nullptr},
    {"Lua_TaskKill", nullptr},
    {"Lua_SCM", nullptr},
    {"Lua_RegVarByCSIDL", Lua_RegVarByCSIDL},
    {"Lua_ExtractResource", nullptr},
    {"Lua_GetOSVersion", Lua_GetOSVersion},
    {"Lua_GetFileVersion", nullptr},
    {"Lua_Logout", Lua_Logout},
    {"Lua_MsgBox", Lua_MsgBox},
    {"Lua_DelFileRecursive", Lua_DelFileRecursive},
    {"Lua_DelFileRecursiveEx", Lua_DelFileRecursiveEx},
    {"Lua_DeleteFileAfterReboot", Lua_DeleteFileAfterReboot},
    {"Lua_IsWow64", Lua_IsWow64},
    {"Lua_GetProcessId", nullptr},
    {"Lua_ExitWindows", nullptr},
    {"Lua_GetModuleFileName", Lua_GetModuleFileName},
    {"Lua_GetCommandLineArgv", Lua_GetCommandLineArgv},
    {"Lua_EnablePrivilege", nullptr},
    {"Lua_GetTempFileName", Lua_GetTempFileName},
    {"Lua_GetTempPath", Lua_GetTempPath},
    {"Lua_ExpandEnv", Lua_ExpandEnv},
    {"Lua_GetImagePathByPid", nullptr},
    {"Lua_GetDriverInstallPath", nullptr},
    {"Lua_KillAllTaskByName", nullptr},
    {"Lua_PathFileExists", Lua_PathFileExists},
    {"Lua_PathYetAnotherMakeUniqueName", Lua_PathYetAnotherMakeUniqueName},
    {"Lua_ShellExec", nullptr},
};

}  // namespace

void RegisterHostFunctions(lua_State* L) {
  for (const auto& f : kCatalogue)
    if (f.fn) lua_register(L, f.name, f.fn);
}

const char* const* HostFunctionNames(int* count) {
  static const char* names[sizeof kCatalogue / sizeof kCatalogue[0]];
  int n = 0;
  for (const auto& f : kCatalogue)
    if (f.fn) names[n++] = f.name;
  if (count) *count = n;
  return names;
}

}  // namespace brix
