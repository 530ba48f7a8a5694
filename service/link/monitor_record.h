// The monitor record: what the monitor thread keeps between its passes, and
// the two power flags it shares with the event thread and the UPS shutdown.
// The service has one; the monitor clears it when its thread starts.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/ascii_answers.h"
#include "protocol/condition_table.h"

namespace zep {

constexpr size_t kModelTextSize = 14;  // 13 characters and the NUL

struct MonitorRecord {
  /// Model part of the identification answers; empty until a UPS was
  /// identified. The UPS shutdown reads it from the shutdown thread, so it
  /// is kept as atomic characters (see LoadText / StoreText).
  std::atomic<char> model_text[kModelTextSize] = {};
  /// The identification texts and ratings, used by the monitor alone.
  IdentityTexts identity;
  Ratings ratings;
  int32_t battery_figure = -1;
  /// The status ring: the three inputs of the condition report per pass.
  StatusRing ring;
  /// The mains failure (event 3368) and battery low (event 2177) as the
  /// event thread last saw them; the monitor clears both after it has
  /// identified the UPS again, and the UPS shutdown reads the first.
  std::atomic<int32_t> power_fail_active{0};
  std::atomic<int32_t> low_battery_active{0};
  /// 1 once the first polling pass after an identification has been
  /// reported and the summary worked out from it, so that the active events
  /// say what the UPS says; 0 from the moment they are emptied for an
  /// identification until then. Readers outside the monitor (the NUT
  /// server) take the events as stale while it is 0.
  std::atomic<int32_t> events_current{0};
  /// The conditions last reported as on, one mask per group.
  ReportedConditions reported;
};

/// Empties the record as the monitor thread does when it starts: no model
/// text, no texts or ratings, battery figure -1, the ring at index 0 with
/// two entries (mask 1) and zero bytes, both flags 0, nothing reported.
void ClearMonitorRecord(MonitorRecord* record);

}  // namespace zep
