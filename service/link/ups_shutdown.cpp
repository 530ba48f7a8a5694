#include "link/ups_shutdown.h"

#include <cstdint>

#include "clock.h"
#include "config.h"
#include "events/status_records.h"
#include "host/service_host.h"
#include "host/worker_table.h"
#include "launcher.h"
#include "link/monitor_record.h"
#include "message_files.h"
#include "text_format.h"
#include "trace.h"
#include "udp.h"

namespace zep {
namespace {

constexpr int kMaxDelay = 99;
constexpr int kMaxRestart = 99;
constexpr int kMinWait = 1;
constexpr int kMaxWait = 10;
// The command is formatted into a buffer of this size.
constexpr int kCommandSize = 64;
// The service manager hears from the sequence this often while it waits.
constexpr int kReportPeriodMs = 500;
constexpr uint32_t kReportWaitHint = 1000;
// How often the wait for the other computers looks whether they have gone.
constexpr int kPeerCheckMs = 100;

int Limit(int value, int low, int high) {
  if (value < low) return low;
  if (value > high) return high;
  return value;
}

}  // namespace

UpsShutdownSettings ReadUpsShutdownSettings() {
  UpsShutdownSettings settings;
  const int delay = GetConfigInt("ZEP_UPS_DELAY");
  settings.delay = delay < 0 ? -1 : Limit(delay, 0, kMaxDelay);
  settings.restart = Limit(GetConfigInt("ZEP_UPS_RESTART"), 0, kMaxRestart);
  settings.wait = Limit(GetConfigInt("ZEP_EXEC_WAIT"), kMinWait, kMaxWait);
  return settings;
}

std::string UpsShutdownCommand(int delay, int restart) {
  char command[kCommandSize];
  FormatFixed(command, sizeof command, "S%02dR%05d\r", delay, restart);
  return command;
}

void WaitForShutdownPeers(const ShutdownPeers& peers, Clock& clock) {
  const int64_t give_up_ms = clock.NowMilliseconds() + peers.WaitLimitMs();
  int64_t next_report_ms = clock.NowMilliseconds() + kReportPeriodMs;
  while (peers.PeersLoggedIn() > 0 && clock.NowMilliseconds() < give_up_ms) {
    clock.Sleep(kPeerCheckMs);
    if (clock.NowMilliseconds() >= next_report_ms) {
      ReportServiceStatus(kServiceStopPending, 0, kReportWaitHint);
      next_report_ms += kReportPeriodMs;
    }
  }
}

bool UpsShutdownWanted(const ServiceContext& context) {
  if (context.monitor == nullptr) return true;
  const MonitorRecord& monitor = *context.monitor;
  const bool identified =
      monitor.model_text[0].load(std::memory_order_relaxed) != '\0';
  return !identified ||
         monitor.power_fail_active.load(std::memory_order_relaxed) != 0;
}

int UpsShutdown(ServiceContext& context) {
  if (!UpsShutdownWanted(context)) return 0;
  Clock& clock = context.clock != nullptr ? *context.clock : SystemClock();
  // The wait is timed on the steady clock: a wall clock set back during the
  // shutdown must not hold the computer up.
  const int64_t start_ms = clock.NowMilliseconds();

  // During a mains failure the other computers on the UPS hear of it
  // first, so that they begin their own shutdown at once.
  ShutdownPeers* peers = context.shutdown_peers.load();
  if (peers != nullptr && context.monitor != nullptr &&
      context.monitor->power_fail_active.load(std::memory_order_relaxed) != 0) {
    peers->BeginShutdown();
  } else {
    peers = nullptr;
  }

  if (context.launcher != nullptr && context.messages != nullptr) {
    ShutdownStartRecord(*context.launcher, *context.messages);
  }
  const UpsShutdownSettings settings = ReadUpsShutdownSettings();
  if (settings.wait > 1) {
    ReportServiceStatus(kServiceStopPending, 0,
                        static_cast<uint32_t>(settings.wait) * 1000);
  }
  if (context.launcher != nullptr) context.launcher->Launch("exec.bat", {});

  // The UPS is switched off only once the other computers have gone.
  if (peers != nullptr) WaitForShutdownPeers(*peers, clock);

  // The command goes to the monitor, which relays it to the UPS like every
  // other command of the service. It is sent from the service's long-lived
  // own socket, which the monitor's internal-only endpoint accepts at any
  // time, even after this sequence has ended.
  const int monitor_port = WorkerPort(context, kMonitorSlot);
  if (settings.delay >= 0 && monitor_port > 0) {
    const std::string command =
        UpsShutdownCommand(settings.delay, settings.restart);
    if (SendToLocalPort(monitor_port, command.data(),
                        static_cast<int>(command.size())) < 0) {
      Trace("UPS shutdown: the command could not be sent\r\n");
    }
  } else if (settings.delay >= 0) {
    Trace("UPS shutdown: no monitor endpoint for the command\r\n");
  }

  // A fresh checkpoint every half second until the wait is over.
  const int64_t end_ms = start_ms + int64_t{settings.wait} * 1000;
  int64_t now_ms = start_ms;
  do {
    clock.Sleep(kReportPeriodMs);
    now_ms = clock.NowMilliseconds();
    ReportServiceStatus(kServiceStopPending, 0, kReportWaitHint);
  } while (end_ms >= now_ms);
  return 1;
}

}  // namespace zep
