// Host functions for registry values and key trees.
#include <windows.h>

#include <cwchar>
#include <vector>

#include "handles.h"
#include "hostargs.h"
#include "hostfunctions_decl.h"
#include "pathutil.h"
#include "trace.h"

namespace brix {
namespace {

constexpr REGSAM kAccess = KEY_READ | KEY_WRITE;

HKEY RootKey(const std::wstring& name) {
  if (name == L"HKCR") return HKEY_CLASSES_ROOT;
  if (name == L"HKCU") return HKEY_CURRENT_USER;
  if (name == L"HKLM") return HKEY_LOCAL_MACHINE;
  if (name == L"HKU") return HKEY_USERS;
  if (name == L"HKCC") return HKEY_CURRENT_CONFIG;
  return nullptr;
}

using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

RegDeleteKeyExFn DeleteKeyEx() {
  static const auto fn = reinterpret_cast<RegDeleteKeyExFn>(
      GetProcAddress(GetModuleHandleW(L"advapi32"), "RegDeleteKeyExW"));
  return fn;
}

LONG DeleteKeyTree(HKEY parent, const std::wstring& name) {
  {
    UniqueRegKey key;
    LONG rc = RegOpenKeyExW(parent, name.c_str(), 0, kAccess, key.put());
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
      wchar_t sub[256] = {};
      DWORD len = 256;
      if (RegEnumKeyExW(key.get(), 0, sub, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      rc = DeleteKeyTree(key.get(), sub);
      if (rc != ERROR_SUCCESS) return rc;
    }
  }  // closed before the key itself goes
  if (auto ex = DeleteKeyEx()) return ex(parent, name.c_str(), 0, 0);
  return RegDeleteKeyW(parent, name.c_str());
}

// "%02X"-style decoding, two digits at a time; an odd length ends with a
// one-digit byte.
std::vector<BYTE> DecodeHex(const std::wstring& text) {
  std::vector<BYTE> bytes;
  const size_t n = text.size();
  bytes.reserve((n + 1) / 2);
  for (size_t i = 0; i < n; i += 2) {
    unsigned value = 0;
    wchar_t pair[3] = {text[i], i + 1 < n ? text[i + 1] : L'\0', L'\0'};
    swscanf(pair, L"%02X", &value);
    bytes.push_back(static_cast<BYTE>(value & 0xFF));
  }
  return bytes;
}

bool OnlySeparators(const std::wstring& s) {
  for (wchar_t c : s)
    if (c != L'\\') return false;
  return true;
}

}  // namespace

int Lua_RegQuery(lua_State* L) {
  const HKEY root = RootKey(ArgText(L, 1));
  const std::wstring subkey = ArgText(L, 2), value = ArgText(L, 3);
  UniqueRegKey opened;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, kAccess, opened.put()) != ERROR_SUCCESS) {
    lua_pushnil(L);
    return 1;
  }
  const HKEY key = opened.get();
  DWORD type = 0, size = 0;
  RegQueryValueExW(key, value.c_str(), nullptr, &type, nullptr, &size);
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    std::vector<wchar_t> buf(size / 2 + 1, L'\0');
    DWORD bytes = static_cast<DWORD>((buf.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key, value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &bytes) ==
        ERROR_SUCCESS) {
      PushText(L, buf.data());
      return 1;
    }
  } else if (type == REG_DWORD) {
    // At most four bytes are read, whatever size the value claims.
    DWORD data = 0, bytes = sizeof data;
    if (RegQueryValueExW(key, value.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &bytes) ==
        ERROR_SUCCESS) {
      lua_pushunsigned(L, data);
      return 1;
    }
  }
  lua_pushnil(L);
  return 1;
}

int Lua_RegAdd(lua_State* L) {
  const HKEY root = RootKey(ArgText(L, 1));
  const std::wstring subkey = ArgText(L, 2), value = ArgText(L, 3), type = ArgText(L, 4);
  const bool overwrite = ArgFlag(L, 6);
  UniqueRegKey created;
  if (RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, kAccess, nullptr, created.put(),
                      nullptr) != ERROR_SUCCESS)
    return PushBool(L, true);
  const HKEY key = created.get();
  if (!overwrite && RegQueryValueExW(key, value.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_FILE_NOT_FOUND)
    return PushBool(L, true);
  auto setText = [&](const std::wstring& text) {
    RegSetValueExW(key, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  };
  if (type == L"REG_SZ") {
    std::wstring expanded;
    // Data that does not expand into 260 units is not written half-done.
    if (ExpandPath(ArgText(L, 5), expanded)) setText(expanded);
  } else if (type == L"REG_EXPAND_SZ") {
    setText(ArgText(L, 5));  // stored as REG_SZ, references kept literally
  } else if (type == L"REG_DWORD") {
    DWORD data = static_cast<DWORD>(lua_tointegerx(L, 5, nullptr));
    RegSetValueExW(key, value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  } else if (type == L"REG_BINARY") {
    std::vector<BYTE> bytes = DecodeHex(ArgText(L, 5));
    RegSetValueExW(key, value.c_str(), 0, REG_BINARY, bytes.empty() ? nullptr : bytes.data(),
                   static_cast<DWORD>(bytes.size()));
  }
  return PushBool(L, true);
}

int Lua_RegDel(lua_State* L) {
  const std::wstring rootName = ArgText(L, 1), subkey = ArgText(L, 2);
  const HKEY root = RootKey(rootName);
  if (lua_gettop(L) == 2) {
    UniqueRegKey key;
    LONG rc = RegOpenKeyExW(root, nullptr, 0, kAccess, key.put());
    if (rc != ERROR_SUCCESS) {
      Trace(L"OpenKey %s failed, errcode: %ld\r\n", rootName.c_str(), rc);
    } else {
      // An empty subkey would name the root itself: never delete a whole hive.
      rc = OnlySeparators(subkey) ? ERROR_INVALID_PARAMETER : DeleteKeyTree(key.get(), subkey);
      if (rc != ERROR_SUCCESS) Trace(L"DeleteSubKey %s failed, errcode: %ld", subkey.c_str(), rc);
    }
  } else {
    UniqueRegKey key;
    if (RegOpenKeyExW(root, subkey.c_str(), 0, kAccess, key.put()) == ERROR_SUCCESS) {
      const std::wstring value = ArgText(L, 3);
      RegDeleteValueW(key.get(), value.c_str());
      Trace(L"Delete Value %s, %s, %s", rootName.c_str(), subkey.c_str(), value.c_str());
    }
  }
  return PushBool(L, true);
}

}  // namespace brix
