// Waiting in tests for something another thread or process brings about,
// by looking again and again: only a failing test waits the whole time, so
// the limits can be generous.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace zep {

/// Looks at `done` every `step_ms` until it holds or `timeout_ms` has
/// passed; whether it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeout_ms,
                      int step_ms = 5) {
  for (int waited = 0;; waited += step_ms) {
    if (done()) return true;
    if (waited >= timeout_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(step_ms));
  }
}

}  // namespace zep
