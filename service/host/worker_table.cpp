#include "host/worker_table.h"

#include <string>

#include "config.h"
#include "events/status_records.h"
#include "host/service_host.h"
#include "host/worker_procedures.h"
#include "message_files.h"
#include "process.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "trace.h"

namespace zep {
namespace {

// Every worker thread starts here: the slot's procedure, then the stop event,
// so the end of any one worker, for whatever reason, ends the whole run.
void RunWorkerSlot(void* argument) {
  WorkerSlot* slot = static_cast<WorkerSlot*>(argument);
  slot->procedure(slot);
  if (slot->context != nullptr) {
    ManualResetEvent* stop_event = slot->context->stop_event.load();
    if (stop_event != nullptr) stop_event->Set();
  }
  slot->ended.store(true);
}

// Steps 1 to 4 of the start: the records the workers share are put back to
// a fresh state before any worker exists.
// No event is active at a start: every slot, count and summary value back
// to zero.
void ClearEventRecords(ActiveEventTable* events, EventSummary* summary) {
  constexpr auto kRelaxed = std::memory_order_relaxed;
  if (events != nullptr) {
    for (ActiveEventSlot& slot : events->slots) {
      slot.severity.store(0, kRelaxed);
      slot.stamp.store(0, kRelaxed);
    }
    for (auto& count : events->severity_counts) count.store(0, kRelaxed);
    events->last_clear_stamp.store(0, kRelaxed);
  }
  if (summary != nullptr) {
    summary->summary_total.store(0, kRelaxed);
    summary->summary_severity.store(0, kRelaxed);
    summary->summary_stamp.store(0, kRelaxed);
    summary->summary_kind.store(0, kRelaxed);
    summary->summary_category.store(0, kRelaxed);
  }
}

void PrepareSharedRecords(ServiceContext& context) {
  ClearEventRecords(context.events, context.summary);
  ClearStatusRecordCounters(context.status_counters);
  if (context.ups_state != nullptr) ResetUpsState(*context.ups_state);
  // Every start reports a problem with the settings file anew.
  context.configuration_problem.clear();
  LoadConfiguration(context, true);
  if (context.messages != nullptr) {
    std::string directory = context.message_directory != nullptr
                                ? context.message_directory
                                : ExecutableDirectory();
    std::string problems;
    LoadMessageFilesWithFallback(context.messages, directory,
                                 LanguageSuffixFromSettings(), &problems);
    if (!problems.empty()) ReportProblem(context, "Message files", problems);
  }
}

bool HasEndpoint(const WorkerSlot& slot) { return slot.kind_code != 0; }

// Without tables of its own a context reads the program's (empty until the
// files are loaded, which gives the built-in texts).
const MessageTables& MessagesOf(const ServiceContext& context) {
  return context.messages != nullptr ? *context.messages
                                     : ProcessMessageTables();
}

}  // namespace

WorkerTable& ProcessWorkerTable() {
  static WorkerTable table;
  return table;
}

void ClearWorkerTable(WorkerTable& table) {
  for (WorkerSlot& slot : table.slots) {
    slot.thread.reset();
    if (slot.endpoint.socket != kNoSocket) CloseEndpoint(&slot.endpoint);
    slot.endpoint = UdpEndpoint();
    slot.procedure = nullptr;
    slot.kind_code = 0;
    slot.context = nullptr;
    slot.ended.store(false);
  }
}

int StartWorkers(WorkerTable& table, ServiceContext& context) {
  ClearWorkerTable(table);
  PrepareSharedRecords(context);

  const WorkerRow* rows =
      context.worker_rows != nullptr ? context.worker_rows : kWorkerRows;
  for (int i = 0; i < kUsedWorkerSlots; ++i) {
    table.slots[i].kind_code = rows[i].kind_code;
    table.slots[i].procedure = rows[i].procedure;
    table.slots[i].context = &context;
  }

  for (auto& port : context.worker_ports) {
    port.store(0, std::memory_order_relaxed);
  }
  for (int i = 0; i < kWorkerSlotCount; ++i) {
    WorkerSlot& slot = table.slots[i];
    if (!HasEndpoint(slot)) continue;
    // Only the external command port serves other programs; the others
    // take datagrams from the service's own sockets alone.
    slot.endpoint.internal_only = i != kExternalSlot;
    if (OpenEndpoint(&slot.endpoint, context.base_port) < 0) {
      TraceFormat("Worker %d: no endpoint near port %d\n", i,
                  context.base_port);
      return 0;
    }
    slot.endpoint.internal_only = i != kExternalSlot;
    // The port the slot really got, which the other workers address.
    context.worker_ports[i].store(slot.endpoint.bound_port,
                                  std::memory_order_relaxed);
  }

  for (WorkerSlot& slot : table.slots) {
    if (slot.procedure == nullptr) continue;
    auto thread = std::make_unique<WorkerThread>();
    // A thread that cannot be made is neither resumed nor waited for.
    if (thread->CreateSuspended(&RunWorkerSlot, &slot)) {
      slot.thread = std::move(thread);
    }
  }

  // Announced while every endpoint exists and no worker runs yet.
  if (context.launcher != nullptr) {
    StartServiceRecord(*context.launcher, MessagesOf(context));
  }

  for (WorkerSlot& slot : table.slots) {
    if (slot.thread) slot.thread->Resume();
  }
  return 1;
}

void StopWorkers(WorkerTable& table, ServiceContext& context) {
  if (context.launcher != nullptr) {
    StopServiceRecord(*context.launcher, MessagesOf(context));
  }

  for (int i = kWorkerSlotCount - 1; i >= 0; --i) {
    WorkerSlot& slot = table.slots[i];
    // The signal goes to the endpoint's own address, not to whoever sent it
    // the last datagram.
    if (HasEndpoint(slot) && slot.endpoint.socket != kNoSocket) {
      SendStopSignal(&slot.endpoint);
    }
  }

  for (int i = kWorkerSlotCount - 1; i >= 0; --i) {
    WorkerSlot& slot = table.slots[i];
    if (!slot.thread) continue;
    ReportServiceStatus(kServiceStopPending, 0, 3000);
    if (!slot.thread->Join(context.stop_wait_ms)) {
      TraceFormat("Worker %d did not stop; ended by force\n", i);
      slot.thread->ForceEnd();
    }
  }

  // Only now, with no worker left to use it.
  if (context.close_serial_port != nullptr) context.close_serial_port();

  for (int i = kWorkerSlotCount - 1; i >= 0; --i) {
    WorkerSlot& slot = table.slots[i];
    context.worker_ports[i].store(0, std::memory_order_relaxed);
    if (slot.endpoint.socket != kNoSocket) CloseEndpoint(&slot.endpoint);
  }

  if (context.release_sockets != nullptr) context.release_sockets();
}

int RunService(WorkerTable& table, ServiceContext& context,
               ManualResetEvent* stop_event) {
  context.stop_event = stop_event;
  // What serves other computers runs beside the workers for the whole of
  // the body, outside the worker table: started before them and stopped
  // after them, so that it answers until the service ends.
  if (context.start_network_server != nullptr) {
    context.start_network_server(context);
  }
  int started = StartWorkers(table, context);
  ReportServiceStatus(kServiceStartPending, 0, 1000);
  if (started == 1 && stop_event != nullptr) {
    ReportServiceStatus(kServiceRunning, 0, 0);
    stop_event->Wait(-1);
  }
  ReportServiceStatus(kServiceStopPending, 0, 1000);
  StopWorkers(table, context);
  if (context.stop_network_server != nullptr) {
    context.stop_network_server(context);
  }
  return started;
}

int ShutdownService(ServiceContext& context) {
  ReportServiceStatus(kServiceStopPending, 0, 3000);
  if (context.ups_shutdown_sequence != nullptr) {
    context.ups_shutdown_sequence(context);
  }
  return 1;
}

int ServiceRunHook(ManualResetEvent* stop_event) {
  return RunService(ProcessWorkerTable(), ProcessServiceContext(), stop_event);
}

int ServiceShutdownHook() { return ShutdownService(ProcessServiceContext()); }

}  // namespace zep
