#pragma once
// Folders a recursive delete must never take, whatever path a chunk passes:
// an empty or wrong path variable must not wipe a drive or a profile.
#include <string>

namespace brix {

// The path with "\\?\" (and "\\?\UNC\") removed, "/" as "\", no trailing
// separators (a drive root keeps its one), made full; empty when it cannot
// be made full.
std::wstring NormalizedFolder(const std::wstring& path);

// True for a drive root or network share root, the Windows and system
// folders, the program-files folders, the user profile, the desktop, the
// documents, start-menu and temporary folders, the application-data roots
// (this user's and all users'), and any folder that holds one of these.
// Compared without case after NormalizedFolder.
bool IsProtectedFolder(const std::wstring& path);

}  // namespace brix
