#include "protocol/event_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "protocol/ups_state.h"

namespace zep {
namespace {

// The table is large; keep it off the stack.
struct EventTableTest : ::testing::Test {
  std::unique_ptr<ActiveEventTable> owned =
      std::make_unique<ActiveEventTable>();
  ActiveEventTable& table = *owned;
  EventSummary summary;
  CategoryContext context;  // protocol unknown, no flags
};

TEST_F(EventTableTest, SetAndClearKeepTheCounts) {
  SetActiveEvent(table, 3368, 3, 1000);
  SetActiveEvent(table, 2177, 3, 1001);
  SetActiveEvent(table, 64, 1, 1002);
  EXPECT_EQ(3, EventSeverity(table, 3368));
  EXPECT_EQ(1000, EventStamp(table, 3368));
  EXPECT_EQ(3, CountActiveEvents(table, 7));
  EXPECT_EQ(2, CountActiveEvents(table, 0x4));
  EXPECT_EQ(1, CountActiveEvents(table, 0x1));
  EXPECT_EQ(0, CountActiveEvents(table, 0x2));
  EXPECT_EQ(3, CurrentSeverity(table));

  ClearActiveEvent(table, 3368, 1100);
  EXPECT_EQ(0, EventSeverity(table, 3368));
  EXPECT_EQ(0, EventStamp(table, 3368));
  EXPECT_EQ(1100, table.last_clear_stamp.load());
  EXPECT_EQ(1, CountActiveEvents(table, 0x4));
}

TEST_F(EventTableTest, SettingAnActiveOrClearingAFreeSlotChangesNothing) {
  SetActiveEvent(table, 304, 2, 500);
  SetActiveEvent(table, 304, 3, 600);
  EXPECT_EQ(2, EventSeverity(table, 304));
  EXPECT_EQ(500, EventStamp(table, 304));
  EXPECT_EQ(1, CountActiveEvents(table, 0x2));
  EXPECT_EQ(0, CountActiveEvents(table, 0x4));

  ClearActiveEvent(table, 304, 510);
  ClearActiveEvent(table, 304, 520);
  ClearActiveEvent(table, 305, 530);
  EXPECT_EQ(510, table.last_clear_stamp.load());
  EXPECT_EQ(0, CountActiveEvents(table, 7));
}

TEST_F(EventTableTest, OutOfRangeArgumentsAreIgnored) {
  SetActiveEvent(table, 4096, 3, 10);
  SetActiveEvent(table, -1, 3, 10);
  SetActiveEvent(table, 100, 0, 10);
  SetActiveEvent(table, 101, 4, 10);
  EXPECT_EQ(0, CountActiveEvents(table, 7));
  EXPECT_EQ(0, EventSeverity(table, 4096));
  ClearActiveEvent(table, 4096, 20);
  EXPECT_EQ(0, table.last_clear_stamp.load());
}

TEST_F(EventTableTest, ClearAllCanSpareTheLinkEvent) {
  SetActiveEvent(table, 3880, 3, 100);
  SetActiveEvent(table, 3368, 3, 110);
  SetActiveEvent(table, 0, 1, 120);
  ClearAllEvents(table, true, 200);
  EXPECT_EQ(3, EventSeverity(table, 3880));
  EXPECT_EQ(1, CountActiveEvents(table, 7));
  EXPECT_EQ(200, table.last_clear_stamp.load());
  ClearAllEvents(table, false, 300);
  EXPECT_EQ(0, CountActiveEvents(table, 7));
  EXPECT_EQ(300, table.last_clear_stamp.load());
}

TEST_F(EventTableTest, CategoryTable) {
  const int rows[][2] = {
      // Named codes.
      {-1, 12},
      {96, 23},
      {386, 23},
      {390, 23},
      {257, 26},
      {258, 24},
      {304, 24},
      {309, 24},
      {1072, 24},
      {2352, 24},
      {313, 22},
      {2177, 22},
      {385, 21},
      {393, 21},
      {400, 25},
      {777, 25},
      {1408, 25},
      {3200, 25},
      {3204, 25},
      {2568, 40},
      {2592, 40},
      {3072, 29},
      {3105, 29},
      {3208, 29},
      {3880, 50},
      // By the second hex digit: 1, 11, 12, 14 -> 30; 2..10, 15 -> +30;
      // 13 -> 21.
      {0x100, 30},
      {0x210, 32},
      {0x310, 33},
      {0xA01, 40},
      {0xB00, 30},
      {0xC40, 30},
      {0xD08, 21},
      {0xE00, 30},
      {0xF00, 45}};
  for (const auto& row : rows) {
    EXPECT_EQ(row[1], EventCategory(row[0], context)) << row[0];
  }
}

TEST_F(EventTableTest, DigitZeroFollowsTheMainsState) {
  // An ASCII UPS: one of the events 64, 71, 96 active.
  EXPECT_EQ(12, EventCategory(4, CategoryContext{0, 0x02, false}));
  EXPECT_EQ(11, EventCategory(4, CategoryContext{0, 0x00, true}));
  // A binary or unknown UPS: the flag byte's bit 0x02.
  EXPECT_EQ(12, EventCategory(48, CategoryContext{1, 0x00, true}));
  EXPECT_EQ(11, EventCategory(48, CategoryContext{1, 0x02, false}));
  EXPECT_EQ(11, EventCategory(30, CategoryContext{-1, 0x02, false}));

  UpsState state;
  state.protocol_mode = 0;
  SetActiveEvent(table, 71, 2, 10);
  EXPECT_EQ(11, EventCategory(4, CategoryContextOf(state, table)));
}

TEST_F(EventTableTest, HighestSeverityPerCategory) {
  SetActiveEvent(table, 304, 2, 10);   // 24
  SetActiveEvent(table, 1072, 3, 11);  // 24
  SetActiveEvent(table, 385, 1, 12);   // 21
  EXPECT_EQ(3, HighestSeverityInCategory(table, 24, context));
  EXPECT_EQ(1, HighestSeverityInCategory(table, 21, context));
  EXPECT_EQ(0, HighestSeverityInCategory(table, 25, context));
}

TEST_F(EventTableTest, SummaryWithoutEventsReportsTheLastClear) {
  EXPECT_EQ(12, UpdateEventSummary(table, summary, context, 5000));
  EXPECT_EQ(0, summary.summary_total.load());
  EXPECT_EQ(1, summary.summary_severity.load());
  EXPECT_EQ(1, summary.summary_kind.load());
  EXPECT_EQ(5000, summary.summary_stamp.load());  // nothing cleared yet

  SetActiveEvent(table, 3368, 3, 4000);
  ClearActiveEvent(table, 3368, 4500);
  EXPECT_EQ(12, UpdateEventSummary(table, summary, context, 5000));
  EXPECT_EQ(1, summary.summary_kind.load());
  EXPECT_EQ(4500, summary.summary_stamp.load());
}

TEST_F(EventTableTest, SummaryPicksTheNewestOfTheWorstSeverity) {
  SetActiveEvent(table, 3368, 3, 100);
  SetActiveEvent(table, 2177, 3, 150);  // 22
  SetActiveEvent(table, 304, 2, 300);   // newer, but only a Caution
  EXPECT_EQ(22, UpdateEventSummary(table, summary, context, 999));
  EXPECT_EQ(3, summary.summary_total.load());
  EXPECT_EQ(3, summary.summary_severity.load());
  EXPECT_EQ(3, summary.summary_kind.load());
  EXPECT_EQ(150, summary.summary_stamp.load());
  // Equal stamps: the higher code wins.
  SetActiveEvent(table, 3200, 3, 150);  // 25
  EXPECT_EQ(25, UpdateEventSummary(table, summary, context, 999));
}

TEST_F(EventTableTest, InformationSummaryTakesALaterClear) {
  SetActiveEvent(table, 64, 1, 100);
  SetActiveEvent(table, 304, 2, 110);
  ClearActiveEvent(table, 304, 400);
  EXPECT_EQ(12, UpdateEventSummary(table, summary, context, 999));
  EXPECT_EQ(1, summary.summary_kind.load());
  EXPECT_EQ(400, summary.summary_stamp.load());
}

}  // namespace
}  // namespace zep
