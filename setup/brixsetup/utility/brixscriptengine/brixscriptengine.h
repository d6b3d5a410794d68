#pragma once
// The one embedded Lua interpreter: environment set-up, chunk loading from
// the executable's resources, protected calls under the one error handler.
#include <windows.h>

#include <functional>
#include <mutex>
#include <string>

#include "lua.h"

namespace brix {

// Told the full path and error code of each file a recursive delete could
// not remove.
using DeleteErrorCallback = std::function<void(const wchar_t* path, DWORD error)>;

class BrixScriptEngine {
 public:
  // Constructed on first use; throws (E_FAIL) when no state can be made, and
  // the next call tries again.
  static BrixScriptEngine& Instance();
  ~BrixScriptEngine();
  BrixScriptEngine(const BrixScriptEngine&) = delete;
  BrixScriptEngine& operator=(const BrixScriptEngine&) = delete;

  lua_State* GetState() const { return L_; }

  // The script state is not safe for concurrent use, and this lock is how
  // its users take turns. The install manager holds it for a whole step, so
  // a hook and every host function and callback it reaches run under it
  // (in window mode two of the steps run on the install worker, for as long
  // as the unpacking takes). Host code that reads or writes globals outside
  // a step holds it around that access. The window's UI thread never waits
  // for it while a worker step may run: its progress timer only tries it and
  // skips the publication when a hook holds it. Recursive, because a hook
  // that pumps messages (a message box) can reach window code on its own
  // thread, which then takes the lock again.
  using StateLock = std::unique_lock<std::recursive_mutex>;
  StateLock LockState() { return StateLock(stateMutex_); }
  // owns_lock() is false when another thread holds the state.
  StateLock TryLockState() { return StateLock(stateMutex_, std::try_to_lock); }

  // Finds the resource (type, name) in the executable and runs it as a chunk.
  bool DoResLua(const wchar_t* type, const wchar_t* name);
  // Loads text or precompiled bytes under `chunkName` and runs them.
  bool DoBufferLua(const char* data, size_t size, const char* chunkName);

  // Function and its arguments on the stack; calls it with OnScriptError as
  // message handler. Returns the lua_pcall status.
  static int ProtectedCall(lua_State* L, int nargs, int nresults);
  // Shows the error with a call-stack listing and ends the process.
  static int OnScriptError(lua_State* L);
  // An unattended run cannot wait for a person: once set (not 0), the error
  // box closes itself after this long. The error is logged either way.
  static void SetErrorBoxTimeout(DWORD milliseconds);
  // The exit code of a process ended by a script error (0 unless set).
  static void SetScriptErrorExitCode(UINT code);
  // Runs the global function `name` with no arguments, if it is a function.
  void CallHook(const char* name);

  // Deletes a folder tree (or the entries a non-folder path matches); what
  // cannot be deleted stays. The Ex form reports each failed file.
  static void DeleteDirectories(const std::wstring& path);
  static void DeleteDirectoriesEx(const std::wstring& path, const DeleteErrorCallback& onError);

 private:
  BrixScriptEngine();
  lua_State* L_ = nullptr;
  std::recursive_mutex stateMutex_;
};

// Text of the error box: message, call stack and the request to report it.
std::string FormatScriptError(lua_State* L);
void AppendCallStack(lua_State* L, int level, std::string& text);

}  // namespace brix
