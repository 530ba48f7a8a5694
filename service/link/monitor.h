// The monitor thread (worker slot 1), the service's clock: it finds the UPS
// (port_search.h), identifies it with a fixed sequence of text commands,
// then polls it round after round, turning the answers into event-change
// datagrams for the event thread and value datagrams for the meter thread.
// It never touches the port after the search: every command goes to the
// UPS I/O thread over its link endpoint. Between its own commands it
// relays the commands other parts of the service send to its slot
// endpoint, so that all UPS traffic is one command at a time. When the UPS
// stops answering it reports the lost link (event 3880) and identifies the
// UPS again on the same port and speed.
#pragma once

#include <cstdint>

#include "link/monitor_link.h"

namespace zep {

struct MonitorRecord;
struct ServiceContext;
struct WorkerSlot;

/// The port the link endpoint asks for first (it takes the next lower free
/// one).
constexpr int kMonitorLinkPort = 39914;

/// The commands of the identification, in order.
constexpr const char* kIdentifyCommands[] = {"&K\r", "%ZQ\r", "&M\r",  "%N\r",
                                             "%M\r", "M\r",   "&S1\r", "&N\r"};
constexpr int kIdentifyCommandCount = 8;

/// The commands of one polling pass, in order.
constexpr const char* kPollCommands[] = {"&S1\r", "QQ\r", "&R\r", "Q1\r"};
constexpr int kPollCommandCount = 4;

/// The event the monitor raises for a lost UPS link, and its group.
constexpr int kLinkLostGroup = 3;

/// What the monitor's phases work on.
struct MonitorSession {
  /// The records of the run: UPS state, monitor record, events and summary,
  /// meter values, messages, launcher, the slots' ports.
  ServiceContext* context = nullptr;
  /// The monitor's slot endpoint, where other parts send their commands.
  UdpEndpoint* slot_endpoint = nullptr;
  MonitorLink link;
  /// The wait before each of the monitor's own commands (ZEP_MON_CYCLE).
  int cycle_ms = 1000;
  /// Set once a polling phase has ended (the link was lost at least once).
  bool polling_ended_before = false;
  /// While the UPS stays silent during identification: when the port is
  /// closed and opened again next (steady milliseconds); 0 while answers
  /// come.
  int64_t reopen_due_ms = 0;
};

/// While the UPS stays silent during identification the monitor closes and
/// reopens its port: at the first missing answer after a lost link, then
/// after each span of this length. A USB serial adapter that was pulled and
/// plugged back is a new device behind the same name, and the old handle
/// never hears from it again.
constexpr int kReopenSilenceMs = 10000;

/// The monitor cycle: ZEP_MON_CYCLE in ms, 1000 when it is not set or 0 or
/// less, at most 10000.
int MonitorCycle();

/// Waits up to `wait_ms` for a command on the slot endpoint. When none came,
/// drains the link (100 ms) and returns 0. When one came, drains the link,
/// sends the command to the UPS I/O thread, waits for the answer up to
/// `wait_ms` + 1000 ms and sends a non-empty answer back to the command's
/// sender; returns the answer's length (0 when there was none). Returns -2
/// for the stop signal or a failed receive. `buffer` holds kLinkTextSize
/// bytes.
int RelayRequest(UdpEndpoint* slot_endpoint, MonitorLink* link, int wait_ms,
                 char* buffer);

/// Sends the identification commands, one per cycle (relaying other parts'
/// commands first), and uses their answers: model, version and rating
/// texts, the ratings (value datagram to the meter thread, information
/// items 0 to 3 and 12), the status bytes, and a cancel "&C\r" of pending
/// group schedules. A missing or incomplete answer starts the sequence
/// again from its first command; "NG" counts as answered. Returns 1 when
/// the whole sequence was answered, -1 on the stop signal or a failed
/// receive; it does not return while the UPS stays silent.
int IdentifyUps(MonitorSession* session);

/// Polls the UPS pass after pass, one command per cycle: the status bytes,
/// the measurements (value datagrams to the meter thread), the battery
/// figure (information item 7) and, at the end of each pass, the condition
/// report (event-change datagram to the event thread). Returns 0 when four
/// answers in a row failed (the link is lost), 1 when a pass gave no usable
/// answer, -1 on the stop signal or a failed receive.
int PollUps(MonitorSession* session);

/// The bits the monitor adds to the alarm summary byte of "&S1": 0x01 for
/// an ASCII UPS (mode 0) while the meter thread has the UPS temperature (tag
/// 88) at 51.5 or more; otherwise 0.
uint8_t AlarmSummaryExtraBitsFor(const ServiceContext& context,
                                 int protocol_mode);

/// The slot 1 procedure.
void MonitorWorker(WorkerSlot* slot);

/// The monitor's life on an open slot endpoint: link endpoint, search,
/// identification and polling until the stop signal or a failed receive.
/// What MonitorWorker runs; tests run it on endpoints of their own. A
/// context without a UPS state, monitor record or search record has nothing
/// to monitor: the thread then only waits for the stop signal.
void RunMonitor(ServiceContext& context, UdpEndpoint* slot_endpoint);

}  // namespace zep
