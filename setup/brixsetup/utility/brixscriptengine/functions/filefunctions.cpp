// Host functions for files and folders.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "brixscriptengine.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "protectedfolders.h"
#include "scriptcallback.h"
#include "trace.h"

namespace brix {

namespace {

int ShellFileOp(UINT op, const std::wstring& from, const std::wstring* to, FILEOP_FLAGS flags) {
  std::wstring src = from + L'\0';  // a one-element double-NUL list
  std::wstring dst = to ? *to + L'\0' : std::wstring();
  SHFILEOPSTRUCTW fo = {};
  fo.wFunc = op;
  fo.pFrom = src.c_str();
  fo.pTo = to ? dst.c_str() : nullptr;
  fo.fFlags = flags;
  return SHFileOperationW(&fo);
}

int CopyOrMove(lua_State* L, bool move) {
  const wchar_t* fn = move ? L"Lua_MoveFile" : L"Lua_CopyFile";
  std::wstring source, target;
  if (!ExistingArgPath(L, 1, fn, source)) return PushBool(L, false);
  if (!ExpandArgPath(L, 2, fn, target)) return PushBool(L, false);
  const FILEOP_FLAGS flags = move ? (FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI)
                                  : (FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR);
  int rc = ShellFileOp(move ? FO_MOVE : FO_COPY, source, &target, flags);
  if (rc != 0) {
    Trace(move ? L"Move %s to %s failed!" : L"Copy %s to %s failed!", source.c_str(), target.c_str());
    Trace(L"SHFileOperation error code : %#x\r\n", rc);
    return PushBool(L, false);
  }
  Trace(move ? L"Move %s to %s !" : L"Copy %s to %s !", source.c_str(), target.c_str());
  return PushBool(L, true);
}

}  // namespace

int Lua_CreateDirectory(lua_State* L) {
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_CreateDirectory", path)) return PushBool(L, false);
  if (PathExists(path)) return PushBool(L, true);
  if (!path.empty()) SHCreateDirectory(nullptr, path.c_str());
  if (PathExists(path)) {
    Trace(L"Create Directory %s!\r\n", path.c_str());
    return PushBool(L, true);
  }
  TraceMissing(L"Lua_CreateDirectory", path);
  return PushBool(L, false);
}

int Lua_CopyFile(lua_State* L) { return CopyOrMove(L, false); }
int Lua_MoveFile(lua_State* L) { return CopyOrMove(L, true); }

int Lua_RenameFile(lua_State* L) {
  std::wstring source, target;
  if (!ExistingArgPath(L, 1, L"Lua_RenameFile", source)) return PushBool(L, false);
  if (!ExpandArgPath(L, 2, L"Lua_RenameFile", target)) return PushBool(L, false);
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Trace(L"MoveFile %s to %s !", source.c_str(), target.c_str());
    return PushBool(L, true);
  }
  Trace(L"MoveFile %s to %s failed!", source.c_str(), target.c_str());
  return PushBool(L, false);
}

int Lua_DeleteFile(lua_State* L) {
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_DeleteFile", path)) return PushBool(L, false);
  for (;;) {
    if (!PathExists(path)) return PushBool(L, true);
    int rc = ShellFileOp(FO_DELETE, path, nullptr, FOF_SILENT | FOF_NOCONFIRMATION);
    if (rc == 0) return PushBool(L, true);

    wchar_t text[1024] = {};
    _snwprintf(text, 1023,
               L"无法删除\"%s\"，可能是被占用，请关闭占用程序后点击重试或者点击忽略在卸载完成之后手动删除！",
               path.c_str());
    int answer = MessageBoxW(nullptr, text, L"提示", MB_ICONQUESTION | MB_ABORTRETRYIGNORE);
    if (answer == IDABORT) ExitProcess(0);
    if (answer == IDRETRY) continue;
    Trace(L"Delete %s failed!\r\n", path.c_str());
    Trace(L"SHFileOperation error code : %#x\r\n", rc);
    return PushBool(L, answer == IDIGNORE);
  }
}

int Lua_DeleteFileEx(lua_State* L) {
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_DeleteFileEx", path)) return PushBool(L, false);
  if (!PathExists(path)) return PushBool(L, true);
  return PushBool(L, ShellFileOp(FO_DELETE, path, nullptr,
                                 FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI) == 0);
}

namespace {

// No path a chunk passes may take a drive, a profile or a system folder.
bool RefuseProtected(const wchar_t* function, const std::wstring& path) {
  if (!IsProtectedFolder(path)) return false;
  Trace(L"Fun:%s, Description:%s is a protected folder, not deleted!\r\n", function, path.c_str());
  BRIX_TRACE_FAILURE(L"");
  return true;
}

}  // namespace

int Lua_DelFileRecursive(lua_State* L) {
  Trace(L"Lua_DelFileRecursive");
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_DelFileRecursive", path)) return 0;
  if (!PathExists(path)) return PushBool(L, true);
  if (RefuseProtected(L"Lua_DelFileRecursive", path)) return PushBool(L, false);
  if (PathIsDirectoryW(path.c_str())) {
    Trace(L"PathIsDirectoryW");
    BrixScriptEngine::DeleteDirectories(path);
  } else {
    Trace(L"Path is file!");
    DeleteFileW(path.c_str());
  }
  return 0;
}

int Lua_DelFileRecursiveEx(lua_State* L) {
  Trace(L"Lua_DelFileRecursiveEx");
  ScriptCallback callback(L);  // the last argument, when it is a function
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_DelFileRecursiveEx", path)) return 0;
  if (!PathExists(path)) return PushBool(L, true);
  if (RefuseProtected(L"Lua_DelFileRecursiveEx", path)) return PushBool(L, false);
  DeleteErrorCallback report;
  if (!callback.Empty()) report = [&](const wchar_t* file, DWORD error) { callback.Call(file, error); };
  if (PathIsDirectoryW(path.c_str())) {
    Trace(L"PathIsDirectoryW");
    BrixScriptEngine::DeleteDirectoriesEx(path, report);
  } else {
    Trace(L"Path is file!");
    if (!DeleteFileW(path.c_str()) && report) report(path.c_str(), GetLastError());
  }
  return 0;
}

int Lua_DeleteFileAfterReboot(lua_State* L) {
  Trace(L"Lua_DeleteFileAfterReboot");
  std::wstring path;
  if (!ExpandArgPath(L, 1, L"Lua_DeleteFileAfterReboot", path)) return PushBool(L, false);
  if (!PathExists(path)) return PushBool(L, true);
  return PushBool(L, MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE);
}

int Lua_PathFileExists(lua_State* L) { return PushBool(L, PathFileExistsW(ArgText(L, 1).c_str()) != FALSE); }

int Lua_PathYetAnotherMakeUniqueName(lua_State* L) {
  using UniqueNameFn = BOOL(WINAPI*)(LPWSTR, LPCWSTR, LPCWSTR, LPCWSTR);
  static const auto fn = reinterpret_cast<UniqueNameFn>(
      GetProcAddress(GetModuleHandleW(L"shell32"), reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(75))));
  const std::wstring path = ArgText(L, 1);
  wchar_t out[MAX_PATH + 1] = {};
  if (fn) fn(out, path.c_str(), nullptr, nullptr);
  PushText(L, out);
  return 1;
}

}  // namespace brix
