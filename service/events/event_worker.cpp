#include "events/event_worker.h"

#include <string>
#include <vector>

#include "clock.h"
#include "events/event_decisions.h"
#include "events/event_scripts.h"
#include "events/status_records.h"
#include "launcher.h"
#include "link/monitor_record.h"
#include "protocol/event_table.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "text_format.h"
#include "trace.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kReceiveBufferSize = 1024;

void TableEntry(ActiveEventTable* events, const EventEntry& entry,
                int32_t now) {
  if (events == nullptr) return;
  if (entry.began) {
    SetActiveEvent(*events, entry.code, entry.severity, now);
  } else {
    ClearActiveEvent(*events, entry.code, now);
  }
}

PowerFlags FlagsOf(const MonitorRecord* monitor) {
  PowerFlags flags;
  if (monitor != nullptr) {
    flags.power_fail_active = monitor->power_fail_active.load(kRelaxed);
    flags.low_battery_active = monitor->low_battery_active.load(kRelaxed);
  }
  return flags;
}

// Only the flags the datagram names are written: the monitor may clear the
// other one at any moment.
void StoreFlags(MonitorRecord* monitor, const EventPlan& plan) {
  if (monitor == nullptr) return;
  if (plan.sets_power_fail) {
    monitor->power_fail_active.store(plan.flags.power_fail_active, kRelaxed);
  }
  if (plan.sets_low_battery) {
    monitor->low_battery_active.store(plan.flags.low_battery_active, kRelaxed);
  }
}

void RunEventScript(ServiceContext& context, const EventEntry& entry) {
  if (context.launcher == nullptr) return;
  char began[10];
  char severity[10];
  char code[10];
  FormatFixed(began, sizeof began, "%d", entry.began ? 1 : 0);
  FormatFixed(severity, sizeof severity, "%d", entry.severity);
  FormatFixed(code, sizeof code, "%d", entry.code);
  context.launcher->Launch("event.bat", {began, severity, code});
}

void RunPlanned(ServiceContext& context, const PlannedScript& planned) {
  switch (planned.script) {
    case EventScript::kEvent:
      RunEventScript(context, planned.entry);
      break;
    case EventScript::kTemperature:
      RunTemperature(context, planned.entry.began);
      break;
    case EventScript::kOverload:
      RunOverload(context, planned.entry.began);
      break;
    case EventScript::kEmergency:
      RunEmergency(context);
      break;
    case EventScript::kPowerFail:
      RunPowerFail(context);
      break;
    case EventScript::kPowerRecovery:
      RunPowerRecovery(context);
      break;
  }
}

void RefreshSummary(ServiceContext& context, int32_t now) {
  if (context.events == nullptr || context.summary == nullptr) return;
  CategoryContext categories;
  if (context.ups_state != nullptr) {
    categories = CategoryContextOf(*context.ups_state, *context.events);
  }
  UpdateEventSummary(*context.events, *context.summary, categories, now);
  UpdateStatusRecords(context);
}

}  // namespace

int HandleEventDatagram(ServiceContext& context, const uint8_t* data,
                        int length) {
  const int count = CountEventEntries(data, length);
  if (count <= 0) {
    // Another type, no entry, or not even one whole entry: nothing to act
    // on, and no reason to end the thread over it.
    TraceFormat("Event datagram dropped (%d bytes, type %02X)\n", length,
                length > 0 && data != nullptr ? data[0] : 0u);
    return 0;
  }
  EventEntry entries[kMaxEventEntries];
  for (int i = 0; i < count; ++i) ReadEventEntry(data, length, i, &entries[i]);

  Clock& clock = context.clock != nullptr ? *context.clock : SystemClock();
  const int32_t now = static_cast<int32_t>(clock.NowSeconds());

  for (int i = 0; i < count; ++i) TableEntry(context.events, entries[i], now);

  const EventPlan plan = PlanEvents(entries, count, FlagsOf(context.monitor));
  StoreFlags(context.monitor, plan);
  for (const PlannedScript& planned : plan.scripts) {
    RunPlanned(context, planned);
  }
  if (plan.refresh_summary) RefreshSummary(context, now);
  return count;
}

void EventWorker(WorkerSlot* slot) {
  uint8_t buffer[kReceiveBufferSize];
  for (;;) {
    const int received =
        ReceiveDatagram(&slot->endpoint, buffer, sizeof buffer, -1);
    if (received < 0) {
      if (received != -1)
        TraceFormat("Event thread: receive failed (%d)\n", received);
      return;
    }
    // A time-out, a foreign empty datagram or a reset report.
    if (received == 0) continue;
    if (slot->context != nullptr) {
      HandleEventDatagram(*slot->context, buffer, received);
    }
  }
}

}  // namespace zep
