#include "brixprocesstoolhelp.h"

#include <tlhelp32.h>

#include "handles.h"
#include "trace.h"

namespace brix {

namespace {

constexpr DWORD kCloseWaitMs = 3000;

BOOL CALLBACK PostCloseToProcessWindow(HWND window, LPARAM processId) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(processId)) {
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  return TRUE;
}

}  // namespace

ProcessToolHelp::ProcessToolHelp() : snapshot_(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0)) {}

std::vector<DWORD> ProcessToolHelp::FindProcessIdsByName(const std::wstring& name) const {
  std::vector<DWORD> ids;
  // No name names no process (some system entries have an empty one).
  if (!snapshot_ || name.empty()) return ids;
  PROCESSENTRY32W entry = {};
  // The structure's own size: 556 bytes on i686 but 568 on x86_64.
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32FirstW(snapshot_.get(), &entry); ok; ok = Process32NextW(snapshot_.get(), &entry)) {
    if (entry.th32ProcessID != 0 && lstrcmpiW(entry.szExeFile, name.c_str()) == 0)
      ids.push_back(entry.th32ProcessID);
  }
  return ids;
}

long long ProcessToolHelp::FindProcessIdByName(const std::wstring& name) const {
  const DWORD self = GetCurrentProcessId();
  for (DWORD id : FindProcessIdsByName(name))
    if (id != self) return id;
  return kNoProcess;
}

bool ProcessToolHelp::KillProcess(DWORD id) {
  if (id == 0) return true;
  if (id == GetCurrentProcessId()) {
    Trace(L"Fun:KillProcess, Description:%u is the installer itself, not ended!\r\n", id);
    return false;
  }
  // Posted, never sent: a hung window cannot hold the installer.
  EnumWindows(PostCloseToProcessWindow, static_cast<LPARAM>(id));
  EnableTokenPrivilege(SE_DEBUG_NAME, true);

  const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process any more
  if (WaitForSingleObject(process.get(), kCloseWaitMs) != WAIT_OBJECT_0) TerminateProcess(process.get(), 0);
  return WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_OBJECT_0;
}

bool ProcessToolHelp::EnableTokenPrivilege(const wchar_t* name, bool enable) {
  UniqueHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
    BRIX_TRACE_FAILURE(L"OpenProcessToken failed!");
    return false;
  }
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  bool ok = false;
  if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
    BRIX_TRACE_FAILURE(L"LookupPrivilegeValue failed!");
  } else {
    privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
    ok = AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr) != FALSE;
    if (!ok) BRIX_TRACE_FAILURE(L"AdjustTokenPrivileges failed!");
  }
  return ok;
}

bool ProcessToolHelp::FillDeviceTable() {
  const DWORD size = GetLogicalDriveStringsW(0, nullptr);
  if (size == 0) {
    BRIX_TRACE_FAILURE(L"GetLogicalDriveStrings failed");
    return false;
  }
  std::vector<wchar_t> drives(size + 1, L'\0');
  const DWORD used = GetLogicalDriveStringsW(size, drives.data());
  if (used == 0 || used > size) {
    BRIX_TRACE_FAILURE(L"GetLogicalDriveStrings failed");
    return false;
  }
  for (const wchar_t* root = drives.data(); *root; root += lstrlenW(root) + 1) {
    const wchar_t drive[3] = {root[0], root[1], L'\0'};
    wchar_t device[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, device, MAX_PATH)) devices_.emplace(device, drive);
  }
  devicesFilled_ = true;
  return true;
}

bool ProcessToolHelp::DevicePathToDrivePath(std::wstring& path) {
  if (!devicesFilled_ && !FillDeviceTable()) return false;

  size_t cut = std::wstring::npos;
  for (int seen = 0, i = 0; i < static_cast<int>(path.size()); ++i)
    if (path[i] == L'\\' && ++seen == 3) {
      cut = static_cast<size_t>(i);
      break;
    }
  if (cut == std::wstring::npos) return true;

  // Only the leading device part is replaced: the same text further on is
  // part of a folder name.
  const std::wstring device = path.substr(0, cut);
  auto found = devices_.find(device);
  if (found != devices_.end()) {
    path.replace(0, cut, found->second);
    return true;
  }
  if (device == L"\\Device\\Mup") {
    path.replace(0, cut, L"\\");
    return true;
  }
  return false;
}

}  // namespace brix
