#include "latency_figures.h"

#include <gtest/gtest.h>

namespace zep {
namespace bench {
namespace {

TEST(LatencyFiguresTest, SpreadInterpolatesBetweenRanks) {
  // Ten values 1..10: ranks 0.9, 4.5 and 8.1.
  const Spread spread = SpreadOf({10, 1, 9, 2, 8, 3, 7, 4, 6, 5});
  EXPECT_EQ(10, spread.count);
  EXPECT_DOUBLE_EQ(1.9, spread.p10);
  EXPECT_DOUBLE_EQ(5.5, spread.median);
  EXPECT_DOUBLE_EQ(9.1, spread.p90);
  EXPECT_DOUBLE_EQ(4.0, SpreadOf({4}).median);
  EXPECT_EQ(0, SpreadOf({}).count);
}

TEST(LatencyFiguresTest, FloorsOfTheDefaultAndTheFastestCycle) {
  PrescribedWaits waits;
  waits.cycle_ms = 1000;
  // 250 to the status request, its 150 ms reply wait (growth at the second
  // look, two looks without), then three commands of 1000 + 100 + 150.
  EXPECT_DOUBLE_EQ(4150, StatusChangeFloorMs(waits, 250));
  // 250 to the next command, four time-outs of 2000, three waits of 1100.
  EXPECT_DOUBLE_EQ(11550, LostLinkFloorMs(waits, 250));
  waits.cycle_ms = 1;
  EXPECT_DOUBLE_EQ(903, StatusChangeFloorMs(waits, 0));
  EXPECT_DOUBLE_EQ(4307, LostLinkFloorMs(waits, 0));
}

}  // namespace
}  // namespace bench
}  // namespace zep
