#include "service_context.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "clock.h"
#include "config.h"
#include "events/meter_values.h"
#include "events/script_launcher.h"
#include "events/status_records.h"
#include "host/service_host.h"
#include "launcher.h"
#include "link/monitor_record.h"
#include "link/port_search.h"
#include "link/ups_shutdown.h"
#include "message_files.h"
#include "nut/nut_server.h"
#include "process.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "serlink32.h"
#include "trace.h"
#include "udp.h"

namespace zep {
namespace {

void CloseServicePort() { Kbapi_COMPortClose(0); }

// Only console mode (no stop hook) has a console to write to; a service has
// none on Windows, and under systemd its output would flood the journal.
void WriteServiceConsole(const char* text) {
  if (ProcessHost().descriptor.stop_hook != nullptr) return;
  std::fwrite(text, 1, std::strlen(text), stdout);
  std::fflush(stdout);
}

bool FillProcessContext(ServiceContext& context) {
  // One UPS state for the life of the process; the workers reset it at
  // every start.
  static UpsState ups_state;
  static ActiveEventTable events;
  static EventSummary summary;
  static MonitorRecord monitor;
  static MeterValueTable meter_values;
  static PortSearch port_search;
  static StatusRecordCounters status_counters;
  static ServiceLauncher launcher(&context, &SystemLauncher());
  context.launcher = &launcher;
  context.ups_state = &ups_state;
  context.events = &events;
  context.summary = &summary;
  context.monitor = &monitor;
  context.meter_values = &meter_values;
  context.port_search = &port_search;
  context.status_counters = &status_counters;
  context.clock = &SystemClock();
  context.set_execution_state = &SetExecutionState;
  context.write_console = &WriteServiceConsole;
  context.ups_shutdown_sequence = &UpsShutdown;
  context.messages = &ProcessMessageTables();
  context.load_configuration = &LoadServiceConfiguration;
  context.close_serial_port = &CloseServicePort;
  context.release_sockets = &ReleaseSocketLibrary;
  context.start_network_server = &StartProcessNutServer;
  context.stop_network_server = &StopProcessNutServer;
  return true;
}

}  // namespace

ServiceContext& ProcessServiceContext() {
  static ServiceContext context;
  static const bool filled = FillProcessContext(context);
  (void)filled;
  return context;
}

int WorkerPort(const ServiceContext& context, int slot) {
  if (slot < 0 || slot >= kWorkerPortSlots) return 0;
  return context.worker_ports[slot].load(std::memory_order_relaxed);
}

void LoadConfiguration(ServiceContext& context, bool full) {
  if (context.load_configuration == nullptr) return;
  std::string problem = context.load_configuration(full);
  if (problem == context.configuration_problem) return;
  if (problem.empty()) {
    TraceFormat("%s: read without problems again\n", kConfigFileName);
  } else {
    ReportProblem(context, kConfigFileName, problem);
  }
  context.configuration_problem = problem;
}

int CurrentProtocolMode(const ServiceContext& context) {
  if (context.ups_state == nullptr) return -1;
  return context.ups_state->protocol_mode.load(std::memory_order_relaxed);
}

}  // namespace zep
