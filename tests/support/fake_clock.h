// A clock for tests of logic about time: it stands still until the test
// moves it, and its Sleep moves it instead of waiting. Safe to read from a
// worker thread while the test sets it.
#pragma once

#include <atomic>
#include <cstdint>

#include "clock.h"

namespace zep {

class FakeClock : public Clock {
 public:
  explicit FakeClock(int64_t seconds = 0) { SetSeconds(seconds); }

  /// Puts the clock at a whole second.
  void SetSeconds(int64_t seconds) { ms_.store(seconds * 1000); }
  void SetMilliseconds(int64_t ms) { ms_.store(ms); }
  void Advance(int ms) { ms_.fetch_add(ms); }

  int64_t NowSeconds() override { return ms_.load() / 1000; }
  int64_t NowMilliseconds() override { return ms_.load(); }
  void Sleep(int ms) override { Advance(ms); }

 private:
  std::atomic<int64_t> ms_{0};
};

}  // namespace zep
