#include "service_host.h"

#include "host_platform.h"
#include "text_format.h"
#include "trace.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

enum class Hook { kStop, kShutdown };

/// One row per control the handler acts on; other codes resend the record.
struct ControlRow {
  uint32_t control;
  uint32_t report_wait;  // the stop-pending report's wait hint
  Hook hook;
};

constexpr ControlRow kControlRows[] = {
    {kControlStop, 1000, Hook::kStop},
    {kControlShutdown, 3000, Hook::kShutdown},
    {kControlPreshutdown, 3000, Hook::kShutdown},
};

/// One row per console event the handler takes; others are not handled.
struct ConsoleRow {
  uint32_t event;
  Hook hook;
  bool set_stop_event;
};

constexpr ConsoleRow kConsoleRows[] = {
    {kConsoleCtrlC, Hook::kStop, true},
    {kConsoleClose, Hook::kStop, true},
    {kConsoleBreak, Hook::kShutdown, false},
    {kConsoleLogoff, Hook::kShutdown, false},
    {kConsoleShutdown, Hook::kShutdown, false},
};

void CallHook(const ServiceDescriptor& descriptor, Hook hook) {
  int (*function)() =
      hook == Hook::kStop ? descriptor.stop_hook : descriptor.shutdown_hook;
  if (function != nullptr) function();
}

void ResendStatus(HostState& host) {
  std::lock_guard<std::mutex> hold(host.report_lock);
  StatusSink* sink = host.status_sink.load();
  if (sink == nullptr) return;
  uint32_t error = 0;
  if (!sink->Send(host.status.Values(), &error)) {
    host.status.win32_exit_code.store(error, kRelaxed);
  }
}

void RunServiceWorkerThread(void* host) {
  RunServiceWorker(*static_cast<HostState*>(host));
}

int RunConsoleMode(HostState& host) {
  InstallConsoleControl(host);
  WorkerThread worker;
  if (!worker.CreateSuspended(&RunServiceWorkerThread, &host)) {
    RemoveConsoleControl();
    return 0;
  }
  worker.Resume();
  // Sleeps until the service thread has ended: nothing else is for the main
  // thread to do (the console events and signals are handled on threads of
  // their own), and a look every 100 ms would wake it ten times a second
  // for the whole run.
  worker.Join(-1);
  RemoveConsoleControl();
  return 1;
}

}  // namespace

ServiceStatusValues ServiceStatusRecord::Values() const {
  ServiceStatusValues values;
  values.service_type = service_type.load(kRelaxed);
  values.current_state = current_state.load(kRelaxed);
  values.controls_accepted = controls_accepted.load(kRelaxed);
  values.win32_exit_code = win32_exit_code.load(kRelaxed);
  values.service_specific_exit_code = service_specific_exit_code.load(kRelaxed);
  values.checkpoint = checkpoint.load(kRelaxed);
  values.wait_hint = wait_hint.load(kRelaxed);
  return values;
}

void ServiceStatusRecord::Clear() {
  service_type.store(kServiceOwnProcess, kRelaxed);
  current_state.store(kServiceStopped, kRelaxed);
  controls_accepted.store(kAcceptStop, kRelaxed);
  win32_exit_code.store(0, kRelaxed);
  service_specific_exit_code.store(0, kRelaxed);
  checkpoint.store(0, kRelaxed);
  wait_hint.store(0, kRelaxed);
}

HostState& ProcessHost() {
  static HostState host;
  return host;
}

uint32_t ControlsAcceptedFor(uint32_t state) {
  switch (state) {
    case kServiceStopped:
    case kServiceStopPending:
      return 0;
    case kServiceStartPending:
    case kServiceContinuePending:
    case kServicePausePending:
    case kServicePaused:
      return kAcceptStop;
    default:
      return kAcceptStop | kAcceptShutdown;
  }
}

void ApplyStatusReport(ServiceStatusRecord& record, uint32_t state,
                       uint32_t exit_code, uint32_t wait_hint) {
  record.win32_exit_code.store(exit_code, kRelaxed);
  record.wait_hint.store(wait_hint, kRelaxed);
  if (record.current_state.load(kRelaxed) == state) {
    record.checkpoint.fetch_add(1, kRelaxed);
  } else {
    record.current_state.store(state, kRelaxed);
    record.checkpoint.store(wait_hint != 0 ? 1 : 0, kRelaxed);
  }
  record.controls_accepted.store(ControlsAcceptedFor(state), kRelaxed);
}

void ReportServiceStatus(HostState& host, uint32_t state, uint32_t exit_code,
                         uint32_t wait_hint) {
  TraceFormat("ServiceStatusUpdate - dwState:%08X", state);
  TraceFormat(" dwExitCode:%08X", exit_code);
  TraceFormat(" dwWait:%d\r\n", static_cast<int>(wait_hint));
  std::lock_guard<std::mutex> hold(host.report_lock);
  ApplyStatusReport(host.status, state, exit_code, wait_hint);
  StatusSink* sink = host.status_sink.load();
  if (sink == nullptr) return;
  uint32_t error = 0;
  if (!sink->Send(host.status.Values(), &error)) {
    host.status.win32_exit_code.store(error, kRelaxed);
  }
}

void ReportServiceStatus(uint32_t state, uint32_t exit_code,
                         uint32_t wait_hint) {
  ReportServiceStatus(ProcessHost(), state, exit_code, wait_hint);
}

void SignalStopEvent(HostState& host) {
  if (host.stop_event_exists.load()) host.stop_event.Set();
}

void ServiceControlHandler(HostState& host, uint32_t control) {
  const ControlRow* row = nullptr;
  for (const ControlRow& candidate : kControlRows) {
    if (candidate.control == control) row = &candidate;
  }
  if (row == nullptr) {
    ResendStatus(host);
  } else {
    ReportServiceStatus(host, kServiceStopPending, 0, row->report_wait);
    CallHook(host.descriptor, row->hook);
    SignalStopEvent(host);
  }
  TraceFormat("ServiceCtrlHandler - %08X\r\n", control);
}

void ServiceControlHandler(uint32_t control) {
  ServiceControlHandler(ProcessHost(), control);
}

bool ConsoleControlHandler(HostState& host, uint32_t event) {
  for (const ConsoleRow& row : kConsoleRows) {
    if (row.event != event) continue;
    CallHook(host.descriptor, row.hook);
    if (row.set_stop_event) SignalStopEvent(host);
    return true;
  }
  return false;
}

bool ConsoleControlHandler(uint32_t event) {
  return ConsoleControlHandler(ProcessHost(), event);
}

void RunServiceWorker(HostState& host) {
  ReportServiceStatus(host, kServiceStartPending, 0, 1000);
  if (!host.stop_event.Valid()) {
    ReportServiceStatus(host, kServiceStopped, LastSystemError(), 0);
    return;
  }
  host.stop_event.Reset();
  host.stop_event_exists.store(true);
  if (host.descriptor.run_hook != nullptr) {
    host.descriptor.run_hook(&host.stop_event);
  } else {
    ReportServiceStatus(host, kServiceRunning, 0, 0);
    host.stop_event.Wait(-1);
  }
  host.stop_event_exists.store(false);
  ReportServiceStatus(host, kServiceStopped, 0, 0);
}

void RunServiceWorker() { RunServiceWorker(ProcessHost()); }

int RunServiceHost(HostState& host, const ServiceDescriptor& descriptor) {
  host.descriptor = descriptor;
  // The copy's name is terminated whatever the caller left in the field.
  CopyText(host.descriptor.name, sizeof host.descriptor.name, descriptor.name);
  if (host.descriptor.stop_hook != nullptr) return RunServiceDispatcher(host);
  return RunConsoleMode(host);
}

}  // namespace zep
