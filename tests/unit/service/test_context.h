// The records of a service run owned by a test, and a context that points
// at the ones the test asks for. A record left out stays null in the
// context, as the code treats a missing record as one this run does not
// need; so a test gets exactly the paths of the records it names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "events/meter_values.h"
#include "events/status_records.h"
#include "fake_clock.h"
#include "host_recorders.h"
#include "info_strings.h"
#include "link/monitor_record.h"
#include "link/port_search.h"
#include "message_files.h"
#include "protocol/event_table.h"
#include "protocol/ups_state.h"
#include "service_context.h"

namespace zep {

/// The records a TestContext can point its context at, to be or-ed.
enum TestRecord : unsigned {
  kWithLauncher = 1u << 0,
  kWithMessages = 1u << 1,
  kWithClock = 1u << 2,
  kWithUpsState = 1u << 3,
  kWithEvents = 1u << 4,
  kWithSummary = 1u << 5,
  kWithMonitor = 1u << 6,
  kWithMeterValues = 1u << 7,
  kWithPortSearch = 1u << 8,
  kWithStatusCounters = 1u << 9,
  /// What the monitor thread works on (its tests bring the launcher and
  /// keep the system clock).
  kMonitorRecords = kWithMessages | kWithUpsState | kWithEvents | kWithSummary |
                    kWithMonitor | kWithMeterValues | kWithPortSearch |
                    kWithStatusCounters,
};

struct TestContext {
  /// `records` names what the context points at; the fake clock starts at
  /// `clock_seconds`; the launcher also writes to `log` when one is given.
  explicit TestContext(unsigned records, int64_t clock_seconds = 0,
                       EventLog* log = nullptr)
      : clock(clock_seconds), launcher(log), messages(new MessageTables) {
    if (records & kWithLauncher) context.launcher = &launcher;
    if (records & kWithMessages) context.messages = messages.get();
    if (records & kWithClock) context.clock = &clock;
    if (records & kWithUpsState) context.ups_state = &ups_state;
    if (records & kWithEvents) context.events = &events;
    if (records & kWithSummary) context.summary = &summary;
    if (records & kWithMonitor) context.monitor = &monitor;
    if (records & kWithMeterValues) context.meter_values = &meter_values;
    if (records & kWithPortSearch) context.port_search = &search;
    if (records & kWithStatusCounters) context.status_counters = &counters;
  }
  TestContext(const TestContext&) = delete;
  TestContext& operator=(const TestContext&) = delete;

  /// Points worker slot `slot` of the context at `port`.
  void SetPort(int slot, int port) {
    context.worker_ports[slot].store(static_cast<uint16_t>(port));
  }
  /// Information item `slot`, or "<unset>".
  std::string Item(int slot) const {
    char text[kInfoTextSize] = {};
    if (!GetInfoString(messages->info_strings, slot, text, sizeof text)) {
      return "<unset>";
    }
    return text;
  }
  /// Sets information item `slot`.
  void SetItem(int slot, const char* text) {
    SetInfoString(&messages->info_strings, slot, text);
  }

  FakeClock clock;
  RecordingLauncher launcher;
  std::unique_ptr<MessageTables> messages;
  UpsState ups_state;
  ActiveEventTable events;
  EventSummary summary;
  MonitorRecord monitor;
  MeterValueTable meter_values;
  PortSearch search;
  StatusRecordCounters counters;
  ServiceContext context;
};

}  // namespace zep
