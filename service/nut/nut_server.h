// The NUT protocol server: lets other computers on the same UPS (upsmon
// as a secondary, upsc, Home Assistant, WinNUT) watch it over TCP,
// read-only. It is not one of the six workers: one thread of its own,
// started by the service body before the workers and stopped after them,
// serves every connection from one bounded wait, so that a slow or hostile
// client never holds up the others, and reads only what the service
// already keeps.
//
// It also stands for the other computers in the UPS shutdown: the status
// starts with FSD once the shutdown begins during a mains failure, and the
// shutdown waits for the logged-in secondaries to go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/ups_shutdown.h"
#include "nut/nut_settings.h"
#include "service_context.h"

namespace zep {

/// How far the server lets clients go.
struct NutLimits {
  /// Connections served at once. A new one beyond them takes the place of
  /// the one heard from longest ago that is not logged in; with all logged
  /// in it is closed at once.
  size_t connections = 32;
  /// A connection not heard from for this long is closed.
  int idle_ms = 180000;
  /// Reply bytes a connection may leave unread before it is closed.
  size_t unsent_bytes = 64 * 1024;
};

class NutServer final : public ShutdownPeers {
 public:
  NutServer();
  ~NutServer() override;
  NutServer(const NutServer&) = delete;
  NutServer& operator=(const NutServer&) = delete;

  /// Listens on each address of `settings` (one that cannot be listened on
  /// leaves a trace line and is left out) and, when one is open, starts the
  /// thread that serves `records`. Returns the number of addresses
  /// listened on: 0 also when the settings name none, and then nothing at
  /// all is made. A server that runs already is left as it is.
  int Start(ServiceContext& records, const NutSettings& settings,
            const NutLimits& limits = NutLimits());
  /// Ends the thread and closes every connection and listener.
  void Stop();
  bool Running() const;
  /// The port listener `index` is bound to; 0 when there is none.
  int ListeningPort(size_t index) const;

  /// From now until the next start the status starts with FSD.
  void BeginShutdown() override;
  int PeersLoggedIn() const override;
  int WaitLimitMs() const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// The service's own server, for the host: started with the settings of
/// ZEP.conf (nothing happens without ZEP_NUT_LISTEN) and made the
/// context's shutdown peers while it runs.
void StartProcessNutServer(ServiceContext& context);
void StopProcessNutServer(ServiceContext& context);

}  // namespace zep
