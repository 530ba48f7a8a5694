// What the latency benchmark works out of its trials: the spread of a set
// of times (median and the 10 % and 90 % points), and the design floor of
// each trial, the time the prescribed waits alone would take from the
// change at the simulator to the script that reports it.
#pragma once

#include <vector>

#include "exchange_scan.h"

namespace zep {
namespace bench {

/// Median and the 10 % and 90 % points of a set of times, by linear
/// interpolation between the sorted values (the point p of n values lies at
/// rank p x (n - 1)). All zero for an empty set.
struct Spread {
  int count = 0;
  double median = 0;
  double p10 = 0;
  double p90 = 0;
};

Spread SpreadOf(std::vector<double> values);

/// The floor of a change of the mains (or of any condition the status
/// answer shows), which the monitor reads from the next "&S1" and reports
/// at the end of that pass: the time from the change to that "&S1"
/// request (`wait_for_status_ms`, how far the change fell before the
/// pass), then the status answer's reply wait and the three commands of
/// the rest of the pass, each in its long form: an answer that takes its
/// bytes' time on the line arrives after the serial library's first look. The
/// event thread's hand-over to the script is a datagram on loopback and counts
/// as nothing.
double StatusChangeFloorMs(const PrescribedWaits& waits,
                           double wait_for_status_ms);

/// The floor of a lost link: the time from the UPS falling silent to the
/// next command (`wait_for_command_ms`), then four unanswered exchanges,
/// each waiting out its answer time-out (the cycle + 1000 ms), with the
/// cycle wait and the drain before each of the three repeats.
double LostLinkFloorMs(const PrescribedWaits& waits,
                       double wait_for_command_ms);

}  // namespace bench
}  // namespace zep
