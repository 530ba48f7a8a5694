// The condition table and the reporter that turns the UPS's status bytes
// (and, for a binary UPS, its alarm bits) into event-change datagrams for
// the event thread.
//
// Conditions live in three groups (1, 2, 3, also the severity of their
// events), each a 32-bit mask. The status bytes give the low bits of the
// masks; table rows with an alarm bit add theirs while the UPS is not an
// ASCII UPS. The reporter sends one entry per row whose bit changed since
// the last report.
#pragma once

#include <cstdint>
#include <functional>

#include "protocol/ups_state.h"

namespace zep {

/// No alarm bit for the row: only the status bytes set it.
constexpr uint8_t kNoAlarmBit = 255;

struct ConditionRow {
  uint8_t group;      // 1..3
  uint8_t mask_bit;   // 0 = least significant
  uint8_t alarm_bit;  // kNoAlarmBit for none
  uint16_t event_code;
};

constexpr int kConditionRowCount = 62;

/// The rows in reporting order.
extern const ConditionRow kConditionTable[kConditionRowCount];

/// The conditions last reported as on, one mask per group (masks[0] is
/// group 1). Owned by the monitor; zero at start.
struct ReportedConditions {
  uint32_t masks[3] = {0, 0, 0};
  /// Set when the active events were forgotten (a new identification):
  /// the next report announces every condition that is on again.
  bool resync = false;
};

/// Asks the next report to announce every condition that is on as begun,
/// as if nothing had been reported, while still ending those reported as
/// on that are now off. The monitor does this whenever it empties the
/// active events for a new identification: the events must be announced
/// again to be known, and a condition that ended while the link was lost
/// must still be reported as ended, or its end would be lost.
void ResyncReportedConditions(ReportedConditions* reported);

/// Sends one built datagram; returns the send result (bytes sent, or 0 or
/// negative on failure). The monitor sends to the event thread's port.
using DatagramSender = std::function<int(const uint8_t* bytes, int length)>;

/// Works out the current condition masks from s0 (the alarm summary byte of
/// "&S1"), s1 (its state byte) and s2 (the status bits of "QQ"), adds the
/// alarm bits of `state` unless its protocol_mode is 0, and sends one
/// event-change datagram with an entry per table row whose bit changed, in
/// table order, group 1 first (after a resync: whose bit changed or is on).
/// Bits without a row are recorded silently.
///
/// Returns what `send` returns, or 0 when nothing changed. When the send
/// does not report the whole datagram as sent, the reported masks are left
/// as they were, so the same changes are reported again at the next call
/// instead of being lost; the resync mark stays until a report went out.
int ReportConditionChanges(const UpsState& state, ReportedConditions* reported,
                           uint8_t s0, uint8_t s1, uint8_t s2,
                           const DatagramSender& send);

}  // namespace zep
