#pragma once
// Everything that names the product or its peers: a team that rebrands the
// framework changes this file only. The values are what the product's other
// programs, its chunks and its statistics back end expect.
#include <windows.h>

#include <cstdint>

namespace brix {
namespace product {

// Folder appended to a command-line install path, the product's own
// application-data folder, and the window class of its main window.
constexpr wchar_t kFolderName[] = L"Quillon";
constexpr wchar_t kMainWindowClass[] = L"Quillon";
// HKEY_CURRENT_USER key of the product: the "Install" mark of a shell-level
// start and the statistics union id live here.
constexpr wchar_t kRegistryKey[] = L"SOFTWARE\\Quillon";
constexpr wchar_t kInstallMarkValue[] = L"Install";
constexpr wchar_t kUnionIdValue[] = L"UnionId";

// The installer window's class, searched for by a second installer.
constexpr wchar_t kInstallerWindowClass[] = L"CDlgInstall";
// Single-instance mutex when the configuration names none.
constexpr wchar_t kDefaultMutexName[] = L"Global\\{1CF5C34D-F0D8-4507-8600-70E64159BB61}";
// Class of the listening window looked for when the given one is gone.
constexpr wchar_t kListenWindowClass[] = L"Global\\{C81DE3C6-FDA4-4458-9718-1F6946117266}";
// Base names of the daily logs in the temporary folder.
constexpr wchar_t kLogFileName[] = L"QuillClientInstall.log";
constexpr wchar_t kUninstallLogFileName[] = L"QuillClientUninstall.log";
// An installer whose file name holds this marker creates the product's
// application-data folder before the install completes.
constexpr wchar_t kAppDataMarker[] = L"@ung";

// Window messages, all with both parameters 0 unless said otherwise.
constexpr UINT kInstallFinishedMessage = 3014;  // to the listening window, sent
constexpr UINT kInstallStartingMessage = 3023;  // to the product's main window, posted
constexpr UINT kInstallDoneMessage = 11032;     // worker to the installer window; wParam the query number

// The product's statistics library and what the installer tells it.
constexpr wchar_t kStatLibraryName[] = L"qvstat.dll";
constexpr int32_t kStatAppId = 145;
constexpr int32_t kStatFallbackUnionId = 27021;
constexpr int32_t kStatDispatchPort = 8700;
constexpr int32_t kStatCloseArgument = 3000;
// Deployment hosts when the packer stored none.
constexpr char kDefaultStatHost[] = "stat.quillon.example";
constexpr char kDefaultCounterHost[] = "count.quillon.example";
constexpr wchar_t kCounterPath[] = L"/api/ruzorivizi.php";

}  // namespace product
}  // namespace brix
