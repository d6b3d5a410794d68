#pragma once
// Finding and ending processes, and the privileges that takes.
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "handles.h"

namespace brix {

// A process snapshot taken at construction, and the table from device names
// (as QueryDosDeviceW gives them) to drive names ("C:"), filled on first use.
// One object per script call; nothing is shared between objects.
class ProcessToolHelp {
 public:
  static constexpr long long kNoProcess = -1;

  ProcessToolHelp();
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

  UniqueFileHandle snapshot_;
  std::map<std::wstring, std::wstring> devices_;
  bool devicesFilled_ = false;
};

}  // namespace brix
