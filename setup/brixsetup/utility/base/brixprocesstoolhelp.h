#pragma once
// Process and window tools of the installer host: the single-instance
// object, the start of the product, the shell-level launch, and finding and
// ending processes.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace brix {

// Creates the named single-instance mutex (base name + id when id != 0).
// Null when this is the first installer (or the mutex could not be made);
// otherwise the handle of the existing mutex, which the caller closes. The
// first installer's handle stays open for the life of the process.
HANDLE CreateAppInstance(const std::wstring& baseName, int appId);

// Starts <folder>\<program>: at the desktop shell's level (and marks the
// install in the product's key) or directly.
void StartProduct(const std::wstring& folder, const std::wstring& program, const std::wstring& parameters,
                  bool shellLevel);

// explorer.exe "<program>" "<parameters>"; the WinExec result (> 31 is success).
UINT LaunchAtShellLevel(const std::wstring& program, const std::wstring& parameters);

void BringToFront(HWND window);

// Expands environment references into at most 260 units. False when the
// expansion fails or does not fit; `out` is then left empty.
bool ExpandPath(const std::wstring& in, std::wstring& out);

// A process snapshot taken at construction, and the table from device names
// (as QueryDosDeviceW gives them) to drive names ("C:"), filled on first use.
// One object per script call; nothing is shared between objects.
class ProcessToolHelp {
 public:
  static constexpr long long kNoProcess = -1;

  ProcessToolHelp();
  ~ProcessToolHelp();
  ProcessToolHelp(const ProcessToolHelp&) = delete;
  ProcessToolHelp& operator=(const ProcessToolHelp&) = delete;

  // Every process of the snapshot whose image name matches (no case), in
  // snapshot order; this process included.
  std::vector<DWORD> FindProcessIdsByName(const std::wstring& name) const;
  // The first match other than this process (ending it would end the
  // install), or kNoProcess.
  long long FindProcessIdByName(const std::wstring& name) const;
  // Asks the process's windows to close, then terminates it if it is still
  // there after 3 s; true once it has ended (or was already gone). Refuses
  // this process.
  bool KillProcess(DWORD id);
  // Enables or disables a privilege of this process's token. A privilege the
  // account does not hold still gives true.
  static bool EnableTokenPrivilege(const wchar_t* name, bool enable);
  // \Device\HarddiskVolume1\dir\file -> C:\dir\file, in place; a network
  // path (\Device\Mup\server\share\...) becomes \\server\share\... A path
  // with fewer than three backslashes is left as it is. False (path
  // unchanged) when the device has no drive, or the drives cannot be listed.
  bool DevicePathToDrivePath(std::wstring& path);

 private:
  bool FillDeviceTable();

  HANDLE snapshot_ = INVALID_HANDLE_VALUE;
  std::map<std::wstring, std::wstring> devices_;
  bool devicesFilled_ = false;
};

}  // namespace brix
