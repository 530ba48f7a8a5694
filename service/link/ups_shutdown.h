// The UPS shutdown: when the computer shuts down while the mains has failed
// (or before any UPS was identified), the service runs the user's
// "exec.bat", tells the UPS to switch its output off after a delay and to
// restart later, and keeps the service manager informed while the batch
// file does its work. An ordinary shutdown with mains present leaves the
// UPS running.
#pragma once

#include <string>

#include "clock.h"
#include "service_context.h"

namespace zep {

/// The other computers on the same UPS, as far as the UPS shutdown is
/// concerned (the NUT server's logged-in secondaries). During a mains
/// failure the shutdown tells them first, so that they shut down at once,
/// and then waits until they have gone before it switches the UPS off, as
/// a NUT primary does.
class ShutdownPeers {
 public:
  virtual ~ShutdownPeers() = default;
  /// The shutdown has begun: the peers are to shut down now.
  virtual void BeginShutdown() = 0;
  /// Peers still logged in.
  virtual int PeersLoggedIn() const = 0;
  /// The longest the shutdown waits for them, in milliseconds.
  virtual int WaitLimitMs() const = 0;
};

/// Waits until no peer is logged in, at most their wait limit, reporting
/// stop pending (wait hint 1000) every half second; returns at once when
/// none is logged in.
void WaitForShutdownPeers(const ShutdownPeers& peers, Clock& clock);

/// The settings of one shutdown, with their limits applied.
struct UpsShutdownSettings {
  /// ZEP_UPS_DELAY, minutes before the output goes off: at most 99; -1
  /// when negative or unset, which sends no command at all.
  int delay = -1;
  /// ZEP_UPS_RESTART: 0 to 99.
  int restart = 0;
  /// ZEP_EXEC_WAIT, seconds given to "exec.bat": 1 to 10.
  int wait = 1;
};

/// Reads the three settings anew and applies the limits.
UpsShutdownSettings ReadUpsShutdownSettings();

/// "S%02dR%05d\r" with the delay and the restart value.
std::string UpsShutdownCommand(int delay, int restart);

/// Whether the sequence is to run: no UPS identified yet (empty model
/// text), or the mains failure flag set. A context without a monitor
/// record counts as no UPS identified.
bool UpsShutdownWanted(const ServiceContext& context);

/// The sequence, for the shutdown hook: status record 103, stop pending
/// with the wait when it is above 1 s, "exec.bat", the command to the
/// monitor's slot port (which relays it to the UPS), then a report of stop
/// pending (wait hint 1000) every half second until the wait is over.
/// During a mains failure the context's shutdown peers are told first,
/// and the command waits for them (WaitForShutdownPeers).
/// Returns 1 when it ran, 0 when the UPS was left alone.
int UpsShutdown(ServiceContext& context);

}  // namespace zep
