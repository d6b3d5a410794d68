#include "installpath.h"

#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <shobjidl.h>

#include <cwchar>

#include "handles.h"
#include "pathutil.h"
#include "productconstants.h"
#include "trace.h"

namespace brix {
namespace {

const std::wstring kProductFolder = std::wstring(L"\\") + product::kFolderName;

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Defined here rather than taken from the import library: MinGW's uuid
// symbols are not usable for every interface.
const CLSID kFileOpenDialog = {0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
const IID kIFileDialog = {0x42F85136, 0xDB7E, 0x439C, {0x85, 0xF1, 0xE4, 0x07, 0x5D, 0x13, 0x5F, 0xC8}};
const IID kIShellItem = {0x43826D1E, 0xE718, 0x42EE, {0xBC, 0x55, 0xA1, 0xE2, 0x61, 0xC3, 0x7B, 0xFE}};

}  // namespace

std::wstring ResolvePathPlaceholder(const std::wstring& text,
                                    const std::function<std::wstring(const std::string&)>& readGlobal) {
  Trace(L"%s", text.c_str());
  const size_t open = text.find(L'$');
  if (text.empty() || open == std::wstring::npos) return text;
  const size_t close = text.find(L'$', open + 1);
  if (close == std::wstring::npos) return text;
  const std::wstring name = text.substr(open + 1, close - open - 1);
  Trace(L"%s", name.c_str());
  std::string name8(name.size(), '\0');
  for (size_t i = 0; i < name.size(); ++i) {
    // Script globals with such names are plain ASCII identifiers.
    if (name[i] > 0x7F) return text;
    name8[i] = static_cast<char>(name[i]);
  }
  std::wstring value = readGlobal(name8);
  if (value.empty()) return text;
  std::wstring expanded;
  if (value.find(L'%') != std::wstring::npos && ExpandPath(value, expanded)) value = expanded;

  const std::wstring placeholder = L"$" + name + L"$";
  std::wstring result = text;
  for (size_t at = result.find(placeholder); at != std::wstring::npos;
       at = result.find(placeholder, at + value.size()))
    result.replace(at, placeholder.size(), value);
  if (!EndsWith(result, kProductFolder)) result += kProductFolder;
  const wchar_t dashes[] = L"-----------------------------";
  Trace(L"%s", dashes);
  Trace(L"%s", result.c_str());
  Trace(L"%s", dashes);
  return result;
}

bool CheckDir(const std::wstring& chosen, const std::wstring& base) {
  Trace(L"CheckDir %s, %s", chosen.c_str(), base.c_str());
  const size_t cut = chosen.find_last_of(L"\\/");
  const std::wstring last = cut == std::wstring::npos ? chosen : chosen.substr(cut + 1);
  return last == base;
}

std::wstring ChosenInstallFolder(const std::wstring& chosen, const std::wstring& base) {
  if (CheckDir(chosen, base)) return chosen;
  std::wstring text = chosen;
  if (text.empty() || (text.back() != L'\\' && text.back() != L'/')) text += L'\\';
  return text + base;
}

std::wstring FolderDialogStart(const std::wstring& editText) {
  std::wstring start = editText.empty() ? L"$global_install_path$" : editText;
  if (!PathFileExistsW(start.c_str())) {
    wchar_t buf[MAX_PATH] = {};
    lstrcpynW(buf, start.c_str(), MAX_PATH);
    PathRemoveFileSpecW(buf);
    start = buf;
    if (!PathFileExistsW(start.c_str())) {
      wchar_t programs[MAX_PATH] = {};
      SHGetSpecialFolderPathW(nullptr, programs, CSIDL_PROGRAM_FILES, FALSE);
      start = programs;
    }
  }
  Trace(L"%s", start.c_str());
  return start;
}

bool PickFolder(HWND owner, const std::wstring& start, std::wstring& chosen) {
  ComRef<IFileDialog> dialog;
  if (FAILED(CoCreateInstance(kFileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, kIFileDialog,
                              dialog.put())))
    return false;
  PIDLIST_ABSOLUTE list = nullptr;
  if (SUCCEEDED(SHParseDisplayName(start.c_str(), nullptr, &list, 0, nullptr)) && list) {
    ComRef<IShellItem> item;
    if (SUCCEEDED(SHCreateItemFromIDList(list, kIShellItem, item.put())) && item) {
      dialog->SetDefaultFolder(item.get());
      dialog->SetFolder(item.get());
    }
    CoTaskMemFree(list);
  }
  dialog->SetOptions(FOS_PICKFOLDERS);
  // Cancel and failure alike leave no result item; that decides.
  dialog->Show(owner);
  ComRef<IShellItem> result;
  if (FAILED(dialog->GetResult(reinterpret_cast<IShellItem**>(result.put()))) || !result) return false;
  PWSTR path = nullptr;
  if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return false;
  chosen = path;
  CoTaskMemFree(path);
  return true;
}

bool IsLegalInstallPath(const std::wstring& path) {
  const int drive = PathGetDriveNumberW(path.c_str());
  if (drive < 0 || drive > 25) return false;
  const int result = SHCreateDirectory(nullptr, path.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS;
}

std::wstring WithoutTrailingBackslash(const std::wstring& path) {
  wchar_t buf[MAX_PATH] = {};
  lstrcpynW(buf, path.c_str(), MAX_PATH);
  PathRemoveBackslashW(buf);
  return buf;
}

uint64_t FreeBytesOfDrive(const std::wstring& path) {
  const std::wstring volume = path.substr(0, 2);
  ULARGE_INTEGER available{}, total{}, free{};
  if (!GetDiskFreeSpaceExW(volume.c_str(), &available, &total, &free)) return 0;
  return free.QuadPart;
}

uint64_t ParseNeededBytes(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && iswspace(text[i])) ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) value = value * 10 + (text[i] - L'0');
  return value;
}

std::wstring DiskSpaceMessage(uint64_t neededBytes) {
  // Single precision on purpose: the figure users have always been shown.
  float megabytes = static_cast<float>(neededBytes);
  megabytes *= 1.0f / 1024.0f;
  megabytes *= 1.0f / 1024.0f;
  wchar_t text[160];
  swprintf(text, 160, L"磁盘剩余可用空间不足,安装程序需要%0.2fMB的空间来完成安装！", static_cast<double>(megabytes));
  return text;
}

}  // namespace brix
