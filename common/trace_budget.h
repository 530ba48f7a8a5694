// A bound on the trace lines that other programs can cause. Any local
// program can send datagrams to the service's ports, and a line for each one
// dropped would let it flood the trace channel (under systemd, the
// journal): a short flood wrote millions of lines. The budget lets a few
// lines through at once, then one per interval, and the next line written
// says how many were left out.
#pragma once

#include <cstdint>

namespace zep {

class TraceBudget {
 public:
  /// `burst` lines at once, then one more every `interval_ms`.
  explicit TraceBudget(int burst = 5, int interval_ms = 1000)
      : burst_(burst), interval_ms_(interval_ms), tokens_(burst) {}

  /// Whether a line may be written at `now_ms` (a steady clock). When it
  /// may, `*left_out` (if given) gets the number of lines refused since the
  /// last one allowed.
  bool Take(int64_t now_ms, int* left_out);

 private:
  int burst_;
  int interval_ms_;
  int tokens_;
  bool started_ = false;
  int64_t refilled_ms_ = 0;
  int left_out_ = 0;
};

/// Formats and writes a trace line when `budget` allows it now (the steady
/// clock), preceded by a line with the count of lines it left out since the
/// last one. Without a budget the line is always written.
void TraceWithin(TraceBudget* budget, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace zep
