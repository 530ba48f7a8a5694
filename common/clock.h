// The time source of the service as a seam: the real clock in the programs,
// a fake one in tests that must not wait for minutes to pass.
#pragma once

#include <cstdint>

namespace zep {

class Clock {
 public:
  virtual ~Clock() = default;
  /// Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t NowSeconds() = 0;
  /// A steady millisecond count for durations.
  virtual int64_t NowMilliseconds() = 0;
  virtual void Sleep(int ms) = 0;
};

/// The process's real clock.
Clock& SystemClock();

}  // namespace zep
