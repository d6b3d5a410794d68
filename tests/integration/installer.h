#pragma once
// Running packed test installers through the harness.
#include <windows.h>

#include <string>
#include <vector>

#include "harness.h"

namespace it {

// A copy of bin\<installer> in a fresh temporary folder, under `name`, so a
// run never touches the build's own files.
std::wstring CopyInstaller(const std::wstring& installer, const std::wstring& name = L"setup.exe");

// Runs the installer to its end; an installer window it opens is closed
// as soon as it shows.
harness::RunResult RunInstaller(const std::wstring& exe, const std::vector<std::wstring>& args,
                                harness::MessageBoxHandler onBox = nullptr, DWORD timeoutMs = 60000);

// The installer windows ("CDlgInstall") of processes running this program.
std::vector<HWND> InstallerWindowsOf(const std::wstring& exe);

// Trace lines without the "tr " marker and the trailing line break.
std::vector<std::wstring> Lines(const harness::RunResult& r);
bool HasLine(const harness::RunResult& r, const std::wstring& line);
// Lines starting with "hook:", marker removed.
std::vector<std::wstring> Hooks(const harness::RunResult& r);
// The value of a "var:name=value" line the test product logs, or "<none>".
std::wstring Logged(const harness::RunResult& r, const std::wstring& name);

// Rewrites the installer copy's resources with (type, name) replaced by
// `bytes`, or left out when `bytes` is null. Integer ids are written "#n".
bool ReplaceResource(const std::wstring& exe, const std::wstring& type, const std::wstring& name,
                     const std::string* bytes);

std::wstring UniqueMutexName();
std::wstring DirOf(const std::wstring& path);

}  // namespace it
