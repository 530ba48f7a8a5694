#include "event_display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "text_format.h"

namespace zep {
namespace {

void Put(MessageRecord* table, int index, int identifier, const char* text) {
  table[index].identifier = identifier;
  CopyText(table[index].first_text, kMessageTextSize, text);
}

// Level texts 1 to 3 and two categories, as the shipped files have them.
std::unique_ptr<MessageTables> Tables() {
  auto tables = std::make_unique<MessageTables>();
  Put(tables->levels, 0, 1, "Information");
  Put(tables->levels, 1, 2, "Caution");
  Put(tables->levels, 2, 3, "Fault");
  Put(tables->categories, 0, 102, "Service not responding");
  Put(tables->categories, 1, 50, "UPS communication lost");
  Put(tables->categories, 2, 21, "Mains failure");
  // Keep identifier 0 from matching the unfilled records.
  for (int i = 3; i < kCategoryCapacity; ++i) tables->categories[i].identifier = 9999;
  for (int i = 3; i < kLevelCapacity; ++i) tables->levels[i].identifier = 9999;
  return tables;
}

TEST(EventDisplayTest, IconFlagTitleAndTextByLevelAndCategory) {
  auto tables = Tables();
  struct Case {
    uint32_t wparam;
    int icon;
    int flag;
    const char* title;
    const char* text;
  } cases[] = {
      // The service stopped answering.
      {0x0066FFFFu, 404, 3, "Fault", "2026/05/01 10:00 Service not responding"},
      {0x00150001u, 401, 4, "Information", "2026/05/01 10:00 Mains failure"},
      {0x00150002u, 402, 2, "Caution", "2026/05/01 10:00 Mains failure"},
      {0x00150003u, 403, 3, "Fault", "2026/05/01 10:00 Mains failure"},
      // Category 50 takes the no-communication icon, keeping the flag.
      {0x00320001u, 404, 4, "Information", "2026/05/01 10:00 UPS communication lost"},
      {0x00000000u, 404, 3, "Fault", "2026/05/01 10:00 Unknown"},
  };
  for (const Case& c : cases) {
    EventDisplay d = BuildEventDisplay(*tables, c.wparam, "2026/05/01 10:00");
    EXPECT_EQ(d.icon, c.icon) << std::hex << c.wparam;
    EXPECT_EQ(d.balloon_flag, c.flag) << std::hex << c.wparam;
    EXPECT_EQ(d.title, c.title) << std::hex << c.wparam;
    EXPECT_EQ(d.text, c.text) << std::hex << c.wparam;
  }
}

TEST(EventDisplayTest, NoLevelTextGivesAnEmptyTitleAndNoCategoryTextUnknown) {
  auto tables = std::make_unique<MessageTables>();
  for (auto& r : tables->levels) r.identifier = 9999;
  for (auto& r : tables->categories) r.identifier = 9999;
  Put(tables->categories, 0, 107, "?");
  EventDisplay d = BuildEventDisplay(*tables, 0x00150002u, "d t");
  EXPECT_EQ(d.title, "");
  EXPECT_EQ(d.text, "d t Unknown");
}

TEST(EventDisplayTest, TheSameSummaryIsShownOnce) {
  TrayState state;
  EXPECT_TRUE(TakeEventNotification(&state, 0x00150002u, 1000));
  EXPECT_FALSE(TakeEventNotification(&state, 0x00150002u, 1000));
  EXPECT_TRUE(TakeEventNotification(&state, 0x00150002u, 1001));
  ForgetService(&state);
  EXPECT_TRUE(TakeEventNotification(&state, 0x00150002u, 1001));
}

TEST(EventDisplayTest, PopupSetting) {
  EXPECT_TRUE(PopupsWanted(1));
  EXPECT_TRUE(PopupsWanted(2));
  EXPECT_FALSE(PopupsWanted(0));
  EXPECT_FALSE(PopupsWanted(-1));
}

}  // namespace
}  // namespace zep
