#pragma once
// The install folder in the installer window: the path edit's first text,
// the folder the user picks, and the install request's checks. Pure text
// rules apart from the three that ask the system (legal path, free space,
// the folder dialog).
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace brix {

// The edit's text with its "$name$" placeholder replaced by the global
// `name` (every occurrence), then the product folder appended unless the
// text already ends with it (case-sensitive). The text is returned unchanged
// when it holds no complete placeholder or the global is empty. Environment
// references in the global's value are expanded: a folder such as
// %ProgramFiles%\Harlow\Quillon could never pass the legal-path test as
// written.
std::wstring ResolvePathPlaceholder(const std::wstring& text,
                                    const std::function<std::wstring(const std::string&)>& readGlobal);

// Whether the last component of `chosen` (after its last \ or /) is `base`.
bool CheckDir(const std::wstring& chosen, const std::wstring& base);
// The folder the edit shows after the dialog gave `chosen`: chosen itself
// when it already ends in the base folder, else chosen\base.
std::wstring ChosenInstallFolder(const std::wstring& chosen, const std::wstring& base);
// Where the folder dialog opens: the edit's folder, else its parent, else
// the program files folder.
std::wstring FolderDialogStart(const std::wstring& editText);
// Shows the system's folder dialog owned by `owner`; false when it cannot
// be created, is cancelled or gives no file-system folder.
bool PickFolder(HWND owner, const std::wstring& start, std::wstring& chosen);

// A path with a drive letter whose folder exists or could be created (it
// is created, with its parents, as a side effect).
bool IsLegalInstallPath(const std::wstring& path);
// One trailing backslash removed; a drive root keeps its own.
std::wstring WithoutTrailingBackslash(const std::wstring& path);
// Total free bytes of the volume named by the path's first two characters;
// 0 when the system cannot tell.
uint64_t FreeBytesOfDrive(const std::wstring& path);
// The bytes the install needs from its decimal text; 0 when the text is no
// number (the check then passes: nothing is known to be missing).
uint64_t ParseNeededBytes(const std::wstring& text);
// "磁盘剩余可用空间不足,安装程序需要174.48MB的空间来完成安装！" for a need in bytes.
std::wstring DiskSpaceMessage(uint64_t neededBytes);

}  // namespace brix
