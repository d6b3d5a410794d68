#include "brixscriptengine.h"

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

#include "chunklayout.h"
#include "hostfunctions.h"
#include "lauxlib.h"
#include "lualib.h"
#include "ownresource.h"
#include "strconv.h"
#include "tambaselog.h"
#include "trace.h"
#include "scriptobjects.h"

namespace brix {
namespace {

struct EngineCreationError : std::runtime_error {
  EngineCreationError() : std::runtime_error("script state could not be created") {}
  HRESULT code = E_FAIL;
};

void OpenLibraries(lua_State* L) {
  static const luaL_Reg libs[] = {
      {"_G", luaopen_base},          {LUA_LOADLIBNAME, luaopen_package}, {LUA_COLIBNAME, luaopen_coroutine},
      {LUA_TABLIBNAME, luaopen_table}, {LUA_IOLIBNAME, luaopen_io},        {LUA_OSLIBNAME, luaopen_os},
      {LUA_STRLIBNAME, luaopen_string}, {LUA_BITLIBNAME, luaopen_bit32},   {LUA_MATHLIBNAME, luaopen_math},
      {LUA_DBLIBNAME, luaopen_debug},
  };
  for (const auto& lib : libs) {
    luaL_requiref(L, lib.name, lib.func, 1);
    lua_pop(L, 1);
  }
  static const luaL_Reg objects[] = {
      {"AString", OpenAString}, {"WString", OpenWString}, {"RawBuffer", OpenRawBuffer}, {"DllManager", OpenDllManager}};
  for (const auto& o : objects) {
    luaL_requiref(L, o.name, o.func, 1);
    lua_pop(L, 1);
  }
  CreateGLibTab(L);
  RegisterHostFunctions(L);
}

}  // namespace

BrixScriptEngine& BrixScriptEngine::Instance() {
  static BrixScriptEngine engine;
  return engine;
}

BrixScriptEngine::BrixScriptEngine() {
  L_ = luaL_newstate();
  if (!L_) throw EngineCreationError();
  OpenLibraries(L_);
}

BrixScriptEngine::~BrixScriptEngine() {
  if (L_) lua_close(L_);
  L_ = nullptr;
}

bool BrixScriptEngine::DoResLua(const wchar_t* type, const wchar_t* name) {
  const OwnResource res(type, name);
  if (!res.Found()) {
    Trace(L"LoadResource failed. Type : %s ID : %s\r\n", type, name);
    BRIX_TRACE_FAILURE(L"");
    return false;
  }
  if (!res.Loaded()) {
    BRIX_TRACE_FAILURE(L"LockResource failed.");
    return false;
  }
  if (res.Size() == 0) {
    Trace(L"ResSize == 0\r\n");
    return false;
  }
  const std::string chunkName = ToNarrow(name, CP_THREAD_ACP);
  return DoBufferLua(static_cast<const char*>(res.Data()), res.Size(), chunkName.c_str());
}

bool BrixScriptEngine::DoBufferLua(const char* data, size_t size, const char* chunkName) {
  lua_State* L = L_;
  // Chunks precompiled in the other word size's layout are rewritten for
  // this build's loader (the shipped chunks use the 32-bit layout).
  std::string converted;
  if (IsPrecompiledChunk(data, size)) {
    int width = ChunkSizeTWidth(data, size);
    if (width != 0 && width != static_cast<int>(sizeof(size_t))) {
      std::string why;
      if (!ConvertChunkLayout(data, size, static_cast<int>(sizeof(size_t)), false, converted, why)) {
        Trace(L"%s\r\n", Utf8ToWide(std::string(chunkName) + ": " + why).c_str());
        Trace(L"luaL_loadbuffer failed!\r\n");
        return false;
      }
      data = converted.data();
      size = converted.size();
    }
  }
  if (luaL_loadbufferx(L, data, size, chunkName, nullptr) != LUA_OK) {
    const char* msg = lua_tolstring(L, -1, nullptr);
    Trace(L"%s\r\n", ToWide(msg).c_str());
    Trace(L"luaL_loadbuffer failed!\r\n");
    lua_pop(L, 1);
    return false;
  }
  int base = lua_gettop(L);
  lua_pushcfunction(L, OnScriptError);
  lua_insert(L, base);
  int status = lua_pcall(L, 0, 0, base);
  lua_remove(L, base);
  if (status != LUA_OK) lua_pop(L, 1);  // only errors the handler never saw
  return status == LUA_OK;
}

int BrixScriptEngine::ProtectedCall(lua_State* L, int nargs, int nresults) {
  int base = lua_gettop(L) - nargs;
  lua_pushcfunction(L, OnScriptError);
  lua_insert(L, base);
  int status = lua_pcall(L, nargs, nresults, base);
  lua_remove(L, base);
  return status;
}

void BrixScriptEngine::CallHook(const char* name) {
  lua_getglobal(L_, name);
  if (lua_type(L_, -1) == LUA_TFUNCTION)
    ProtectedCall(L_, 0, 0);
  else
    lua_pop(L_, 1);
}

void AppendCallStack(lua_State* L, int level, std::string& text) {
  for (; level >= 0; ++level) {
    lua_Debug ar;
    if (!lua_getstack(L, level, &ar)) return;
    lua_getinfo(L, "nSlu", &ar);
    const char* prefix = "--  | ";
    if (level == 0) {
      text += "      <call stack>\n";
      prefix = "-> | ";
    }
    char line[1024];
    if (ar.name)
      snprintf(line, sizeof line, "%s%s() : line %d [%s : line %d]\n", prefix, ar.name, ar.currentline, ar.source,
               ar.linedefined);
    else
      snprintf(line, sizeof line, "%sunknown : line %d [%s : line %d]\n", prefix, ar.currentline, ar.source,
               ar.linedefined);
    text += line;
  }
}

std::string FormatScriptError(lua_State* L) {
  const char* msg = lua_tolstring(L, -1, nullptr);
  std::string text = msg ? msg : "(null)";
  text += "\n";
  AppendCallStack(L, 0, text);
  return text;
}

namespace {

std::atomic<DWORD> g_errorBoxTimeout{0};
std::atomic<UINT> g_errorExitCode{0};

BOOL CALLBACK PressOkOnMessageBox(HWND window, LPARAM) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (lstrcmpW(className, L"#32770") == 0) PostMessageW(window, WM_COMMAND, IDOK, 0);
  return TRUE;
}

}  // namespace

void BrixScriptEngine::SetErrorBoxTimeout(DWORD milliseconds) { g_errorBoxTimeout.store(milliseconds); }
void BrixScriptEngine::SetScriptErrorExitCode(UINT code) { g_errorExitCode.store(code); }

int BrixScriptEngine::OnScriptError(lua_State* L) {
  std::wstring text = Utf8ToWide(FormatScriptError(L));
  BRIX_LOG_ERROR("script error: {}", WideToAnsi(text));
  text += L"请向我们反馈以上错误信息，以便我们改善产品质量！";
  if (const DWORD timeout = g_errorBoxTimeout.load()) {
    // The process ends right after the box, so this thread is never joined.
    const DWORD owner = GetCurrentThreadId();
    std::thread([owner, timeout] {
      Sleep(timeout);
      EnumThreadWindows(owner, PressOkOnMessageBox, 0);
    }).detach();
  }
  MessageBoxW(nullptr, text.c_str(), L":-( 杯具，脚本执行时发生错误", MB_ICONERROR);
  ExitProcess(g_errorExitCode.load());
  return 0;
}

}  // namespace brix
