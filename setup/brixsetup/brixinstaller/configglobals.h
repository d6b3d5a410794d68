#pragma once
// The script globals the host reads and writes, by name. The product's
// chunks set the configuration ones; the host never raises an error for one
// that is unset (text reads as "", a number as 0, a flag as false) and goes
// on with the default said here. Plain C++ so the packer's check warns about
// the same names the host reads.
namespace brix {
namespace globals {

// Read by the host from the chunks' globals.
constexpr char kInstallMutexGuid[] = "global_install_mutex_guid";
constexpr char kAppId[] = "global_app_id";
constexpr char kEnableSilentInstall[] = "global_enable_ss_install";
constexpr char kSilentInstall[] = "global_ss_install";
constexpr char kInstallPath[] = "global_install_path";
constexpr char kInstallBasePath[] = "global_install_basepath";
constexpr char kMainAppName[] = "global_main_app_name";
constexpr char kStartParameter[] = "global_start_parameter";
constexpr char kStartUseExplorerLevel[] = "global_startuseexplorer_level";
constexpr char kProductName[] = "global_product_name";
constexpr char kStartupCheckVisible[] = "global_startup_check_visable";
constexpr char kStartupCheck[] = "global_startup_check";
constexpr char kLicenceUrl[] = "global_licence_url";
constexpr char kNeedDiskSpace[] = "global_need_disk_space";
constexpr char kShowCompleteWindow[] = "global_show_completewindow";
constexpr char kBackupPath[] = "BackUpPath";
constexpr char kUninstallConfirmText[] = "global_uninstall_confirm_text";
// Set by the uninstall hooks when they could not remove everything.
constexpr char kUninstallFailed[] = "global_uninstall_failed";

// Written by the host for the chunks.
constexpr char kChosenInstallPath[] = "InstallPath";
constexpr char kInstallProgressPos[] = "global_install_progress_pos";
constexpr char kInstallProgressElapse[] = "global_install_progress_elapse";
constexpr char kStartWithWindows[] = "ShouldStartWithWindowsChk";

enum class GlobalKind { Text, Integer, Flag };
// Which run reads it: the installer (configuration and install chunk) or
// the uninstaller (configuration and uninstall chunk).
enum Reader : unsigned { kInstaller = 1, kUninstaller = 2 };

struct ConfigGlobal {
  const char* name;
  GlobalKind kind;
  unsigned readers;
  const char* whenUnset;  // what the host does then, for the product's author
};

// The configuration the host reads. A name read with a literal anywhere in
// the host instead of one of the constants above fails a test.
constexpr ConfigGlobal kConfigGlobals[] = {
    {kInstallMutexGuid, GlobalKind::Text, kInstaller, "the built-in single-instance name with global_app_id"},
    {kAppId, GlobalKind::Integer, kInstaller, "0 (in the built-in single-instance name)"},
    {kEnableSilentInstall, GlobalKind::Flag, kInstaller, "false: only /InstallSlience true installs silently"},
    {kSilentInstall, GlobalKind::Flag, kInstaller, "false: the window"},
    {kInstallPath, GlobalKind::Text, kInstaller, "\"\": no install folder unless the command line or a hook gives one"},
    {kInstallBasePath, GlobalKind::Text, kInstaller, "\"\": a chosen folder is taken as it is"},
    {kMainAppName, GlobalKind::Text, kInstaller, "\"\": no program is started at the end"},
    {kStartParameter, GlobalKind::Text, kInstaller, "\"\": the program is started without parameters"},
    {kStartUseExplorerLevel, GlobalKind::Flag, kInstaller, "false: the program is started at the installer's level"},
    {kProductName, GlobalKind::Text, kInstaller | kUninstaller, "\"\": window titles and messages without a product name"},
    {kStartupCheckVisible, GlobalKind::Flag, kInstaller, "false: the start-with-Windows option is hidden"},
    {kStartupCheck, GlobalKind::Flag, kInstaller, "false: the start-with-Windows option starts unticked"},
    {kLicenceUrl, GlobalKind::Text, kInstaller, "\"\": the licence link opens nothing"},
    {kNeedDiskSpace, GlobalKind::Text, kInstaller, "\"\": no free-space check"},
    {kShowCompleteWindow, GlobalKind::Flag, kInstaller, "false: no completion view, the program is started at once"},
    {kBackupPath, GlobalKind::Text, kInstaller, "\"\": no backup folder is checked"},
    {kUninstallConfirmText, GlobalKind::Text, kUninstaller, "the built-in question naming global_product_name"},
};

}  // namespace globals
}  // namespace brix
