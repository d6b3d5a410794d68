#pragma once
// Host functions by family; each family lives in its own file.
#include "lua.h"

namespace brix {

// environment (envfunctions.cpp)
int Lua_RegVarByCSIDL(lua_State* L);
int Lua_GetOSVersion(lua_State* L);
int Lua_Logout(lua_State* L);
int Lua_MsgBox(lua_State* L);
int Lua_IsWow64(lua_State* L);
int Lua_GetModuleFileName(lua_State* L);
int Lua_GetCommandLineArgv(lua_State* L);
int Lua_GetTempFileName(lua_State* L);
int Lua_GetTempPath(lua_State* L);
int Lua_ExpandEnv(lua_State* L);

// files and folders (filefunctions.cpp)
int Lua_CreateDirectory(lua_State* L);
int Lua_CopyFile(lua_State* L);
int Lua_MoveFile(lua_State* L);
int Lua_RenameFile(lua_State* L);
int Lua_DeleteFile(lua_State* L);
int Lua_DeleteFileEx(lua_State* L);
int Lua_DelFileRecursive(lua_State* L);
int Lua_DelFileRecursiveEx(lua_State* L);
int Lua_DeleteFileAfterReboot(lua_State* L);
int Lua_PathFileExists(lua_State* L);
int Lua_PathYetAnotherMakeUniqueName(lua_State* L);

// registry (registryfunctions.cpp)
int Lua_RegQuery(lua_State* L);
int Lua_RegAdd(lua_State* L);
int Lua_RegDel(lua_State* L);

// processes (processfunctions.cpp)
int Lua_Exec(lua_State* L);
int Lua_ExplorerExec(lua_State* L);
int Lua_ShellExec(lua_State* L);
int Lua_TaskKill(lua_State* L);
int Lua_KillAllTaskByName(lua_State* L);
int Lua_GetProcessId(lua_State* L);
int Lua_GetImagePathByPid(lua_State* L);
int Lua_SCM(lua_State* L);
int Lua_EnablePrivilege(lua_State* L);
int Lua_ExitWindows(lua_State* L);

// shortcuts, registration, versions (shortcutfunctions.cpp)
int Lua_CreateShortcut(lua_State* L);
int Lua_RegSvr32(lua_State* L);
int Lua_RegistDll(lua_State* L);
int Lua_CefRegister(lua_State* L);
int Lua_GetFileVersion(lua_State* L);
int Lua_GetDriverInstallPath(lua_State* L);

// extraction (extractfunctions.cpp)
int Lua_UnCompress7z(lua_State* L);
int Lua_ExtractResource(lua_State* L);

}  // namespace brix
