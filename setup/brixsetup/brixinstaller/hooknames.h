#pragma once
// The hooks the host calls in each chunk, in the order it calls them. Plain
// C++ so the packer's check reads the same names the install manager calls.
#include <cstddef>

namespace brix {
namespace hooks {

constexpr char kBeforeInit[] = "BrixSE_BeforeInit";
constexpr char kBeforeInstall[] = "BrixSE_BeforeInstall";
constexpr char kOnInstall[] = "BrixSE_OnInstall";
constexpr char kBeforeComplete[] = "BrixSE_BeforeComplete";
constexpr char kAfterComplete[] = "BrixSE_AfterComplete";
constexpr char kBeforeUninstall[] = "BrixSE_BeforeUninstall";
constexpr char kOnUninstall[] = "BrixSE_OnUninstall";
constexpr char kAfterUninstall[] = "BrixSE_AfterUninstall";

// The installer runs the configuration chunk, then the install chunk.
constexpr const char* kInstallHooks[] = {kBeforeInit, kBeforeInstall, kOnInstall, kBeforeComplete, kAfterComplete};
// The uninstaller runs the configuration chunk, then the uninstall chunk.
constexpr const char* kUninstallHooks[] = {kBeforeInit, kBeforeUninstall, kOnUninstall, kAfterUninstall};

}  // namespace hooks
}  // namespace brix
