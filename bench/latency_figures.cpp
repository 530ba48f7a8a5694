#include "latency_figures.h"

#include <algorithm>

namespace zep {
namespace bench {
namespace {

// The answer time-out of the monitor's exchanges beyond its cycle.
constexpr int kAnswerExtraMs = 1000;
// Four answers missing in a row end the polling phase.
constexpr int kFailedExchanges = 4;
// The status command and the three after it in the pass.
constexpr int kCommandsAfterStatus = 3;

double At(const std::vector<double>& sorted, double point) {
  const double rank = point * static_cast<double>(sorted.size() - 1);
  const size_t below = static_cast<size_t>(rank);
  if (below + 1 >= sorted.size()) return sorted.back();
  const double fraction = rank - static_cast<double>(below);
  return sorted[below] + (sorted[below + 1] - sorted[below]) * fraction;
}

}  // namespace

Spread SpreadOf(std::vector<double> values) {
  Spread spread;
  if (values.empty()) return spread;
  std::sort(values.begin(), values.end());
  spread.count = static_cast<int>(values.size());
  spread.median = At(values, 0.5);
  spread.p10 = At(values, 0.1);
  spread.p90 = At(values, 0.9);
  return spread;
}

double StatusChangeFloorMs(const PrescribedWaits& waits,
                           double wait_for_status_ms) {
  const double reply = waits.look_interval_ms * (waits.quiet_looks + 1);
  return wait_for_status_ms + reply +
         kCommandsAfterStatus * waits.LongCommandMs();
}

double LostLinkFloorMs(const PrescribedWaits& waits,
                       double wait_for_command_ms) {
  const double timeouts =
      kFailedExchanges * static_cast<double>(waits.cycle_ms + kAnswerExtraMs);
  const double between = (kFailedExchanges - 1) *
                         static_cast<double>(waits.cycle_ms + waits.drain_ms);
  return wait_for_command_ms + timeouts + between;
}

}  // namespace bench
}  // namespace zep
