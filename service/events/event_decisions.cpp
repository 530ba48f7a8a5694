#include "events/event_decisions.h"

#include <cstddef>

#include "protocol/event_table.h"

namespace zep {
namespace {

PlannedScript Planned(EventScript script, const EventEntry& entry) {
  PlannedScript planned;
  planned.script = script;
  planned.entry = entry;
  return planned;
}

// The decision for one entry, with the flags as they stand after every
// entry of the datagram.
int DecideEntry(const EventEntry& entry, const PowerFlags& flags) {
  const bool mains_failed = flags.power_fail_active != 0;
  const bool battery_low = flags.low_battery_active != 0;
  switch (entry.code) {
    case kBatteryLowEvent:
      return mains_failed && entry.began && battery_low ? kActionEmergency : 0;
    case kMainsFailureEvent:
      if (mains_failed) {
        if (!entry.began) return 0;
        return battery_low ? kActionEmergency : kActionPowerFail;
      }
      return entry.began ? 0 : kActionRecovery;
    case kLinkEventCode:
      return entry.began ? 0 : kActionLinkBack;
    default:
      return 0;
  }
}

}  // namespace

EventPlan PlanEvents(const EventEntry* entries, int count, PowerFlags flags) {
  EventPlan plan;
  plan.flags = flags;
  if (entries == nullptr || count < 0) count = 0;

  // Every change is reported, and the flags follow the entries in order, so
  // the last entry for a code decides its flag. A beginning of a condition
  // whose flag is already on is the same failure announced again (after a
  // lost link the monitor announces everything that is on once more): it
  // is logged, but the failure in progress goes on and no action starts
  // anew, so a shutdown wait is never restarted by a broken link.
  std::vector<bool> repeated(static_cast<std::size_t>(count), false);
  for (int i = 0; i < count; ++i) {
    const EventEntry& entry = entries[i];
    plan.scripts.push_back(Planned(EventScript::kEvent, entry));
    int32_t* flag = nullptr;
    if (entry.code == kBatteryLowEvent) {
      flag = &plan.flags.low_battery_active;
      plan.sets_low_battery = true;
    } else if (entry.code == kMainsFailureEvent) {
      flag = &plan.flags.power_fail_active;
      plan.sets_power_fail = true;
    }
    if (flag == nullptr) continue;
    repeated[static_cast<std::size_t>(i)] = entry.began && *flag != 0;
    *flag = entry.began ? 1 : 0;
  }

  for (int i = 0; i < count; ++i) {
    const EventEntry& entry = entries[i];
    // The temperature and overload scripts run for beginnings and ends.
    if (entry.code == kTemperatureEvent) {
      plan.scripts.push_back(Planned(EventScript::kTemperature, entry));
    } else if (entry.code == kOverloadEvent) {
      plan.scripts.push_back(Planned(EventScript::kOverload, entry));
    }
    if (!repeated[static_cast<std::size_t>(i)]) {
      plan.action_mask |= DecideEntry(entry, plan.flags);
    }
  }

  const EventEntry none;
  if (plan.action_mask & kActionEmergency) {
    plan.scripts.push_back(Planned(EventScript::kEmergency, none));
  } else if (plan.action_mask & kActionPowerFail) {
    plan.scripts.push_back(Planned(EventScript::kPowerFail, none));
  } else if (plan.action_mask & kActionRecovery) {
    plan.scripts.push_back(Planned(EventScript::kPowerRecovery, none));
  }
  plan.refresh_summary = (plan.action_mask & kActionLinkBack) == 0;
  return plan;
}

}  // namespace zep
