// What the event thread makes of one event-change datagram, as a pure
// function of its entries and the two power flags: the flags afterwards,
// the scripts to start in order, and whether the event summary and the
// status records are refreshed. The thread (event_worker.h) carries it out.
#pragma once

#include <cstdint>
#include <vector>

#include "protocol/status_datagrams.h"

namespace zep {

/// Event codes with a fixed role in the event thread.
constexpr int kMainsFailureEvent = 3368;
constexpr int kBatteryLowEvent = 2177;
constexpr int kTemperatureEvent = 304;
constexpr int kOverloadEvent = 3200;
// The link event (3880) is kLinkEventCode of protocol/event_table.h.

/// Bits of the action mask built by the decision pass.
constexpr int kActionPowerFail = 1;
constexpr int kActionEmergency = 2;
constexpr int kActionRecovery = 4;
constexpr int kActionLinkBack = 8;

/// The mains failure (3368) and battery low (2177) flags: 1 while the
/// condition is on as last reported, else 0.
struct PowerFlags {
  int32_t power_fail_active = 0;
  int32_t low_battery_active = 0;
};

enum class EventScript {
  kEvent,          // "event.bat" began severity code
  kTemperature,    // RunTemperature (began)
  kOverload,       // RunOverload (began)
  kEmergency,      // RunEmergency
  kPowerFail,      // RunPowerFail
  kPowerRecovery,  // RunPowerRecovery
};

/// One script start; `entry` is the entry it stems from (unused for the
/// three power actions).
struct PlannedScript {
  EventScript script = EventScript::kEvent;
  EventEntry entry;
};

struct EventPlan {
  /// The flags after every entry of the datagram.
  PowerFlags flags;
  /// Whether an entry of the datagram set the flag at all; a flag no entry
  /// names is left to whoever else writes it (the monitor clears both).
  bool sets_power_fail = false;
  bool sets_low_battery = false;
  /// kAction* bits.
  int action_mask = 0;
  /// "event.bat" for each entry in order, then the temperature and
  /// overload scripts in entry order, then at most one power action.
  std::vector<PlannedScript> scripts;
  /// False when the link event ended in this datagram: the monitor has just
  /// identified the UPS again and refreshes the summary itself.
  bool refresh_summary = true;
};

/// Plans one datagram of `count` entries seen with the flags `flags`.
///
/// The flags are updated from the entries first (each 3368 and 2177 entry
/// sets its flag to its began value), and the decisions see the values
/// after all entries: a battery-low beginning while the mains has failed is
/// an emergency; a mains failure beginning is an emergency when the battery
/// is low, else a power failure; a mains failure ending gives a recovery
/// only when the flag is clear afterwards. A beginning of 3368 or 2177 while
/// its flag is already on (the condition announced again) decides nothing.
/// One action per datagram, by priority: emergency, power failure,
/// recovery.
EventPlan PlanEvents(const EventEntry* entries, int count, PowerFlags flags);

}  // namespace zep
