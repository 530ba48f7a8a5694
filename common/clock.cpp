#include "clock.h"

#include "process.h"

namespace zep {
namespace {

class RealClock : public Clock {
 public:
  int64_t NowSeconds() override { return WallClockSeconds(); }
  int64_t NowMilliseconds() override { return MonotonicMilliseconds(); }
  void Sleep(int ms) override { SleepMilliseconds(ms); }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace zep
