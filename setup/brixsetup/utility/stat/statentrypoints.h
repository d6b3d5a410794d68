#pragma once
// The boundary with the product's statistics library qvstat.dll: entry-point
// names in table order and the signatures of those the installer calls.
// Plain (cdecl) native functions on both targets.
#include <cstdint>

namespace brix {
namespace stat {

enum EntryPoint {
  kStatInit,
  kStatProxy,
  kStatDispatchAddr,
  kStatOnlineAddr,
  kStatActionAddr,
  kStatInstallAddr,
  kStatLoginoutAddr,
  kStatUnionId,
  kStatAppId,
  kStatLevel,
  kStatVersion,
  kStatVersionEx,
  kStatOnline,
  kStatOffline,
  kStatAction,
  kStatMutilAction,
  kStatInstall,
  kStatClose,
  kStatAppInstall,
  kStatHttpPost,
  kEntryPointCount
};

constexpr const char* kEntryPointNames[kEntryPointCount] = {
    "stat_init",         "stat_proxy",   "stat_dispatch_addr", "stat_online_addr", "stat_action_addr",
    "stat_install_addr", "stat_loginout_addr", "stat_unionid", "stat_appid",       "stat_level",
    "stat_version",      "stat_version_ex",    "stat_online",  "stat_offline",     "stat_action",
    "stat_mutilaction",  "stat_install",       "stat_close",   "stat_app_install", "stat_http_post"};

// The boolean result is read as a byte, so only its low 8 bits count.
using StatInitFn = unsigned char (*)();
using StatDispatchAddrFn = void (*)(const char* host, int32_t port);
using StatUnionIdFn = void (*)(int32_t unionId);
using StatAppIdFn = void (*)(uint8_t appId);
using StatVersionExFn = void (*)(int32_t major, int32_t minor, int32_t build, int32_t revision);
using StatOfflineFn = void (*)();
using StatMutilActionFn = void (*)(const int32_t* actions, int32_t count, bool flag);
using StatCloseFn = void (*)(int32_t value);

}  // namespace stat
}  // namespace brix
