// The monitor thread: the search, then identification and polling phases
// for the rest of the run, with the status records between them and the
// lost-link event when a polling phase ends.
#include "link/monitor.h"

#include "clock.h"
#include "events/status_records.h"
#include "host/worker_table.h"
#include "link/monitor_record.h"
#include "link/port_search.h"
#include "message_files.h"
#include "process.h"
#include "protocol/ascii_answers.h"
#include "protocol/event_table.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "threads.h"
#include "trace.h"

namespace zep {
namespace {

constexpr int kSearchRelayWaitMs = 100;
constexpr int kLoopRelayWaitMs = 100;
constexpr int kSlotDrainMs = 100;
constexpr auto kRelaxed = std::memory_order_relaxed;

int32_t Now(ServiceContext& context) {
  Clock& clock = context.clock != nullptr ? *context.clock : SystemClock();
  return static_cast<int32_t>(clock.NowSeconds());
}

void SendLinkEvent(ServiceContext& context, bool ended) {
  EventDatagram datagram;
  int length =
      AppendEventEntry(&datagram, kLinkEventCode, ended, kLinkLostGroup);
  SendToLocalPort(WorkerPort(context, kEventSlot), datagram.bytes, length);
}

// Before each identification: the ring back to its start values and the
// events of the UPS forgotten (the lost-link event stays when asked). What
// was forgotten must be announced again once the UPS answers, and what
// ended meanwhile must still end, so the next report resyncs.
void PrepareIdentification(ServiceContext& context, bool keep_link_event) {
  PrepareStatusRing(&context.monitor->ring);
  if (context.events != nullptr) {
    ClearAllEvents(*context.events, keep_link_event, Now(context));
  }
  ResyncReportedConditions(&context.monitor->reported);
}

bool Relay(MonitorSession* session, int wait_ms) {
  char buffer[kLinkTextSize];
  return RelayRequest(session->slot_endpoint, &session->link, wait_ms,
                      buffer) >= 0;
}

// Drops whatever comes until the stop signal or a socket failure.
void IdleUntilStopped(UdpEndpoint* slot_endpoint) {
  char buffer[kLinkTextSize];
  while (ReceiveDatagram(slot_endpoint, buffer, kLinkTextSize - 1, -1) >= 0) {
  }
}

const MessageTables& MessagesOf(const ServiceContext& context) {
  return context.messages != nullptr ? *context.messages
                                     : ProcessMessageTables();
}

// Steps 4 to 8: returns when a receive reported the stop signal or failed.
void Monitor(MonitorSession* session) {
  ServiceContext& context = *session->context;
  for (;;) {
    int found = FindUpsPort(context, &session->link, kProbeAnswerTimeoutMs);
    if (found < 0) return;
    if (found > 0) break;
    if (!Relay(session, kSearchRelayWaitMs)) return;
  }
  // Commands that came during the search are out of date. The stop signal
  // may be among them; it must not be lost here.
  if (DrainEndpoint(session->slot_endpoint, kSlotDrainMs) < 0) return;

  if (context.summary != nullptr)
    context.summary->summary_kind.store(1, kRelaxed);
  PrepareIdentification(context, false);
  if (IdentifyUps(session) < 0) return;

  for (;;) {
    if (!Relay(session, kLoopRelayWaitMs)) return;
    if (context.launcher != nullptr) {
      SystemInformationRecord(*context.launcher, MessagesOf(context),
                              CurrentProtocolMode(context));
    }
    if (!Relay(session, kLoopRelayWaitMs)) return;
    if (context.launcher != nullptr) {
      RatedInformationRecord(*context.launcher, MessagesOf(context));
    }
    if (!Relay(session, kLoopRelayWaitMs)) return;
    TrimWorkingSet();

    if (session->polling_ended_before) {
      // The link is back. Whether the mains came back too is for the next
      // pass to tell: its report announces every condition that is on
      // again and ends those that went off, and the event thread then
      // recovers only if the mains failure really ended, while a failure
      // still in progress goes on with its wait. (Recovering here, on the
      // link alone, would cancel a pending shutdown on battery, and a link
      // that broke often enough would keep the computer running until the
      // battery was empty.)
      SendLinkEvent(context, true);
      if (!Relay(session, kLoopRelayWaitMs)) return;
    }

    if (PollUps(session) < 0) return;

    session->polling_ended_before = true;
    SendLinkEvent(context, false);
    ResetUpsState(*context.ups_state);
    PrepareIdentification(context, true);
    if (IdentifyUps(session) < 0) return;
  }
}

}  // namespace

void RunMonitor(ServiceContext& context, UdpEndpoint* slot_endpoint) {
  if (slot_endpoint == nullptr) return;
  if (context.monitor == nullptr || context.ups_state == nullptr ||
      context.port_search == nullptr) {
    // Nothing to monitor with; the thread still ends only on the stop
    // signal or a socket failure, like every worker.
    Trace("Monitor: no records to work on\n");
    IdleUntilStopped(slot_endpoint);
    return;
  }
  ClearMonitorRecord(context.monitor);

  MonitorSession session;
  session.context = &context;
  session.slot_endpoint = slot_endpoint;
  session.link.endpoint.internal_only = true;
  session.link.ups_io_port =
      static_cast<uint16_t>(WorkerPort(context, kUpsIoSlot));
  if (OpenEndpoint(&session.link.endpoint, kMonitorLinkPort) < 0) {
    TraceFormat("Monitor: no link endpoint near port %d\n", kMonitorLinkPort);
    CloseEndpoint(&session.link.endpoint);
    return;
  }
  session.link.endpoint.internal_only = true;
  session.link.stop_event = &context.stop_event;
  SetPeerPort(&session.link.endpoint, session.link.ups_io_port);
  session.cycle_ms = MonitorCycle();

  Monitor(&session);

  // The UPS I/O thread takes the empty datagram from a foreign port and
  // ignores it.
  SendToUpsIo(&session.link, "", 0);
  ManualResetEvent* stop_event = context.stop_event.load();
  if (stop_event != nullptr) stop_event->Set();
  CloseEndpoint(&session.link.endpoint);
}

void MonitorWorker(WorkerSlot* slot) {
  if (slot == nullptr || slot->context == nullptr) return;
  RunMonitor(*slot->context, &slot->endpoint);
}

}  // namespace zep
