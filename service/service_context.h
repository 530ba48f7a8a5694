// The records a run of the service shares between its host, its workers and
// its hooks, gathered in one place. Each worker slot points at it. The
// program has one (ProcessServiceContext); tests make their own and point
// the hooks at fakes.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zep {

class Clock;
class ManualResetEvent;
class Launcher;
struct ActiveEventTable;
struct EventSummary;
struct MessageTables;
struct MeterValueTable;
struct MonitorRecord;
struct PortSearch;
class ShutdownPeers;
struct StatusRecordCounters;
struct UpsState;
struct WorkerRow;

/// Slots that can hold a worker endpoint (the size of the worker table).
constexpr int kWorkerPortSlots = 10;

struct ServiceContext {
  /// Set by every worker when it ends, and by the stop requests; null while
  /// the service body does not run. Read by the workers and by the hooks
  /// that run on the control handler's thread.
  std::atomic<ManualResetEvent*> stop_event{nullptr};
  /// Starts the batch files (status records and the event scripts).
  Launcher* launcher = nullptr;
  /// What the service knows of the UPS; null in tests that do not need it.
  UpsState* ups_state = nullptr;
  /// The active events and their summary; emptied at every start of the
  /// workers. Null in tests that do not need them.
  ActiveEventTable* events = nullptr;
  EventSummary* summary = nullptr;
  /// The monitor record (model text and the two power flags) and the last
  /// value of every measurement tag. Null in tests that do not need them.
  MonitorRecord* monitor = nullptr;
  MeterValueTable* meter_values = nullptr;
  /// Where the port search stands (COM number, speed index), kept for the
  /// whole process. Null in tests that do not search.
  PortSearch* port_search = nullptr;
  /// One status-record counter per event category; cleared at every start
  /// of the workers. Null in tests that make no category records.
  StatusRecordCounters* status_counters = nullptr;
  /// The time source of the event, meter and UPS shutdown logic; null: the
  /// system clock.
  Clock* clock = nullptr;
  /// Asks the system to keep running (away mode) or lets it go again; the
  /// flags of SetThreadExecutionState. Null: nothing is asked.
  void (*set_execution_state)(uint32_t flags) = nullptr;
  /// Writes a text to the console window of console mode (the meter
  /// thread's echo of the values). Null: the text goes nowhere.
  void (*write_console)(const char* text) = nullptr;
  /// The message files, loaded at every start of the workers.
  MessageTables* messages = nullptr;
  /// The directory the message files are read from (ending in its
  /// separator); empty: the executable's directory.
  const char* message_directory = nullptr;
  /// The port every worker endpoint asks for first; each takes the next
  /// lower free one.
  int base_port = 60059;
  /// The port each slot's endpoint is bound to in this run, filled by
  /// StartWorkers as it opens them and cleared by StopWorkers; 0 for a slot
  /// without one. Workers address each other through these (WorkerPort):
  /// when another program holds one of the ports, every later slot moves
  /// one port down, and fixed numbers would reach the wrong worker.
  std::atomic<uint16_t> worker_ports[kWorkerPortSlots] = {};
  /// The worker procedures, one row per used slot; null: the service's own.
  const WorkerRow* worker_rows = nullptr;
  /// How long the stop waits for each worker before ending it by force.
  int stop_wait_ms = 3000;
  /// Loads the settings (full or refresh) and returns what is wrong with
  /// the file (empty: nothing); null: nothing is loaded.
  std::string (*load_configuration)(bool full) = nullptr;
  /// What was last reported wrong with the settings file, so that a problem
  /// is reported once and not at every reload.
  std::string configuration_problem;
  /// The UPS shutdown sequence run when the computer shuts down; null until
  /// the link part provides it.
  int (*ups_shutdown_sequence)(ServiceContext& context) = nullptr;
  /// The other computers on the same UPS, which the UPS shutdown tells to
  /// shut down and waits for during a mains failure: the NUT server's
  /// secondaries, set while that server runs. Null: there are none.
  std::atomic<ShutdownPeers*> shutdown_peers{nullptr};
  /// Starts and stops what serves other computers beside the workers (the
  /// NUT server, which is not in the worker table): started before the
  /// workers and stopped after them, so it answers until the service body
  /// ends. Null: nothing.
  void (*start_network_server)(ServiceContext& context) = nullptr;
  void (*stop_network_server)(ServiceContext& context) = nullptr;
  /// Closes the serial port once every worker has ended.
  void (*close_serial_port)() = nullptr;
  /// Releases the socket library after the endpoints are closed.
  void (*release_sockets)() = nullptr;
};

/// The service's own context: the system launcher, the process's UPS state
/// and message tables, the real settings loader, the serial library and the
/// socket library.
ServiceContext& ProcessServiceContext();

/// The port worker `slot` (0 to 9) is bound to in this run; 0 when the slot
/// has no endpoint now, or for a slot out of range.
int WorkerPort(const ServiceContext& context, int slot);

/// Loads the settings through the context's hook and reports a problem
/// with the file (a trace line and record 130) when it differs from the one
/// reported last; a mended file is reported too, once.
void LoadConfiguration(ServiceContext& context, bool full);

/// protocol_mode of the context's UPS state; -1 (unknown) without one.
int CurrentProtocolMode(const ServiceContext& context);

}  // namespace zep
