#include "link/monitor_record.h"

namespace zep {

void ClearMonitorRecord(MonitorRecord* record) {
  if (record == nullptr) return;
  constexpr auto kRelaxed = std::memory_order_relaxed;
  for (std::atomic<char>& c : record->model_text) c.store('\0', kRelaxed);
  record->identity = IdentityTexts();
  record->ratings = Ratings();
  record->battery_figure = -1;
  record->ring = StatusRing();
  record->power_fail_active.store(0, kRelaxed);
  record->low_battery_active.store(0, kRelaxed);
  record->reported = ReportedConditions();
}

}  // namespace zep
