// The service host: the descriptor that the command line fills, the status
// record reported to the service manager, the stop event, the handlers of
// stop and shutdown requests, and the wrapper that runs the service body in
// both run modes.
//
// The rules (checkpoints, accepted controls, which request calls which hook)
// live in portable code and work on a HostState; the program has one
// process-wide HostState, and the platform layer (service control manager
// on Windows, systemd and signals on POSIX) feeds it.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "threads.h"

namespace zep {

/// Service states as the service manager numbers them.
constexpr uint32_t kServiceStopped = 1;
constexpr uint32_t kServiceStartPending = 2;
constexpr uint32_t kServiceStopPending = 3;
constexpr uint32_t kServiceRunning = 4;
constexpr uint32_t kServiceContinuePending = 5;
constexpr uint32_t kServicePausePending = 6;
constexpr uint32_t kServicePaused = 7;

/// Bits of the accepted controls.
constexpr uint32_t kAcceptStop = 0x1;
constexpr uint32_t kAcceptShutdown = 0x4;

/// Control codes of the service manager.
constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlInterrogate = 4;
constexpr uint32_t kControlShutdown = 5;
constexpr uint32_t kControlPreshutdown = 15;

/// Console events.
constexpr uint32_t kConsoleCtrlC = 0;
constexpr uint32_t kConsoleBreak = 1;
constexpr uint32_t kConsoleClose = 2;
constexpr uint32_t kConsoleLogoff = 5;
constexpr uint32_t kConsoleShutdown = 6;

/// SERVICE_WIN32_OWN_PROCESS.
constexpr uint32_t kServiceOwnProcess = 0x10;

/// Size of the descriptor's name field; names are copied with a limit of
/// 261 characters.
constexpr int kServiceNameSize = 264;

/// What the command line hands to the host. A present stop hook means
/// service mode; without it the host runs in console mode.
struct ServiceDescriptor {
  char name[kServiceNameSize] = {};
  /// The service body; returns when the service is to end. Null: the host
  /// reports running and waits for the stop event itself.
  int (*run_hook)(ManualResetEvent* stop_event) = nullptr;
  /// Called on a stop request before the stop event is set.
  int (*stop_hook)() = nullptr;
  /// Held for the pause and continue controls, which are never accepted.
  int (*pause_hook)() = nullptr;
  int (*continue_hook)() = nullptr;
  /// Called when the computer shuts down (and on Ctrl+Break in a console).
  int (*shutdown_hook)() = nullptr;
};

/// A copy of the status record's values, as sent to the service manager.
struct ServiceStatusValues {
  uint32_t service_type = kServiceOwnProcess;
  uint32_t current_state = kServiceStopped;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_specific_exit_code = 0;
  uint32_t checkpoint = 0;
  uint32_t wait_hint = 0;
};

/// The status record. Reports come from the service thread, the control
/// handler's thread and the thread of the shutdown hook, so every field is
/// atomic (relaxed); whole reports are serialised by HostState's lock.
struct ServiceStatusRecord {
  std::atomic<uint32_t> service_type{kServiceOwnProcess};
  std::atomic<uint32_t> current_state{kServiceStopped};
  std::atomic<uint32_t> controls_accepted{0};
  std::atomic<uint32_t> win32_exit_code{0};
  std::atomic<uint32_t> service_specific_exit_code{0};
  std::atomic<uint32_t> checkpoint{0};
  std::atomic<uint32_t> wait_hint{0};

  ServiceStatusValues Values() const;
  /// Back to the start of a service main: own process, stopped, accepting
  /// stop, everything else 0.
  void Clear();
};

/// Where reports go: the service manager's status handle on Windows, the
/// systemd notify socket on POSIX. None in console mode.
class StatusSink {
 public:
  virtual ~StatusSink() = default;
  /// Sends the record; false with the system's error code on failure.
  virtual bool Send(const ServiceStatusValues& values, uint32_t* error) = 0;
};

/// The host's process-wide state (one of each).
struct HostState {
  ServiceDescriptor descriptor;
  ServiceStatusRecord status;
  /// The status handle: null in console mode, so nothing is sent.
  std::atomic<StatusSink*> status_sink{nullptr};
  /// StopEvent. The object lives as long as the host; it "exists" (can be
  /// set) only while RunServiceWorker runs.
  ManualResetEvent stop_event;
  std::atomic<bool> stop_event_exists{false};
  std::mutex report_lock;
};

/// The program's host.
HostState& ProcessHost();

/// The controls a state accepts: none while stopped or stopping; stop while
/// starting, continuing, pausing or paused; stop and shutdown while running
/// (and for any other value).
uint32_t ControlsAcceptedFor(uint32_t state);

/// Steps 2 to 4 of a report: exit code and wait hint stored; the checkpoint
/// raised by one for a repeated state, else 1 for a new state with a wait
/// hint and 0 without; the accepted controls of the new state.
void ApplyStatusReport(ServiceStatusRecord& record, uint32_t state,
                       uint32_t exit_code, uint32_t wait_hint);

/// Records and reports a state: three trace lines, ApplyStatusReport, and
/// the record sent when there is a sink (its error then kept as the exit
/// code until the next report).
void ReportServiceStatus(HostState& host, uint32_t state, uint32_t exit_code,
                         uint32_t wait_hint);
void ReportServiceStatus(uint32_t state, uint32_t exit_code,
                         uint32_t wait_hint);

/// Sets StopEvent if it exists; harmless when repeated.
void SignalStopEvent(HostState& host);

/// A control of the service manager: stop (stop pending 1000, stop hook,
/// StopEvent), shutdown and preshutdown (stop pending 3000, shutdown hook,
/// StopEvent), anything else sends the record again unchanged. Then the
/// trace line "ServiceCtrlHandler - %08X\r\n".
void ServiceControlHandler(HostState& host, uint32_t control);
void ServiceControlHandler(uint32_t control);

/// A console event: Ctrl+C and close run the stop hook and set StopEvent;
/// Ctrl+Break, logoff and shutdown run the shutdown hook and leave the
/// service running. True when the event was handled.
bool ConsoleControlHandler(HostState& host, uint32_t event);
bool ConsoleControlHandler(uint32_t event);

/// The service body wrapper of both modes: start pending, StopEvent, the run
/// hook (or running and a wait for StopEvent), then stopped.
void RunServiceWorker(HostState& host);
void RunServiceWorker();

/// Runs the host with `descriptor` in the mode it names. Service mode: the
/// platform's service dispatcher (its result: 0 when the program was not
/// started by the service manager). Console mode: the console handler, the
/// service body on its own thread, a 100 ms check until it has ended; 1
/// then, 0 when the thread cannot be made.
int RunServiceHost(HostState& host, const ServiceDescriptor& descriptor);

/// Installs the service (auto start, "<exe> <extra>"); 1 on success, also
/// when it exists already; 0 otherwise.
int InstallService(const char* name, const char* display_name,
                   const char* extra_argument);

/// Removes the service, stopping it first without waiting; 1 on success.
int RemoveService(const char* name);

}  // namespace zep
