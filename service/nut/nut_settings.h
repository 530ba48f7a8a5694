// The settings of the NUT protocol server, read once when the service body
// starts: ZEP.conf's [CONFIG] section first, then the environment the
// service was started with (the way the settings loader treats a key).
// They are not put into the environment, so that the password never
// reaches the batch files. Addresses and the port take effect at the next
// start, as for the protocol's own server.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "nut/nut_commands.h"

namespace zep {

constexpr int kNutDefaultPort = 3493;
/// ZEP_NUT_HOSTSYNC: how long the UPS shutdown waits for the secondaries
/// to go, in seconds.
constexpr int kNutDefaultHostSync = 15;
constexpr int kNutMostHostSync = 60;
/// Addresses listened on at most.
constexpr size_t kNutMostListenAddresses = 4;

struct NutSettings {
  /// ZEP_NUT_LISTEN: addresses separated by commas; none: no server.
  std::vector<std::string> listen;
  /// ZEP_NUT_PORT: 1 to 65535.
  int port = kNutDefaultPort;
  /// ZEP_NUT_UPS, ZEP_NUT_USER, ZEP_NUT_PASSWORD and the version.
  NutIdentity identity;
  /// ZEP_NUT_HOSTSYNC: 0 to 60.
  int host_sync_seconds = kNutDefaultHostSync;
  /// ZEP_MON_CYCLE as the monitor reads it (1000 ms by default, at most
  /// 10000): it sets how long one polling pass takes.
  int monitor_cycle_ms = 1000;
  /// What was wrong with the settings, one trace line each.
  std::vector<std::string> complaints;
};

/// Looks a setting up; false when it is not set (an empty value counts as
/// not set).
using NutSettingLookup = std::function<bool(
    const char* section, const char* key, std::string* value)>;

/// The settings as `lookup` gives them, with defaults and limits applied.
NutSettings ParseNutSettings(const NutSettingLookup& lookup);

/// ParseNutSettings on ZEP.conf in the executable's directory and then the
/// environment.
NutSettings ReadNutSettings();

}  // namespace zep
