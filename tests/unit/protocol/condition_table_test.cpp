#include "protocol/condition_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

// Marks the alarm bits (ascending) as supported and on: the n-th of them is
// value n of the packed alarm block.
void SetAlarmBits(UpsState& state, std::initializer_list<int> bits) {
  int position = 0;
  for (int bit : bits) {
    state.alarm_presence[bit / 8].fetch_or(
        static_cast<uint8_t>(1 << (bit % 8)));
    state.alarm_values[position++].store(1);
  }
}

class ConditionReportTest : public ::testing::Test {
 protected:
  // The sender answers with the datagram's length unless `result_` is set.
  int Report(uint8_t s0, uint8_t s1, uint8_t s2) {
    return ReportConditionChanges(state_, &reported_, s0, s1, s2,
                                  [this](const uint8_t* b, int n) {
                                    sent_.emplace_back(b, b + n);
                                    return result_ != 0 ? result_ : n;
                                  });
  }

  UpsState state_;
  ReportedConditions reported_;
  std::vector<Bytes> sent_;
  int result_ = 0;
};

TEST_F(ConditionReportTest, ReportsChangesOnlyOnce) {
  state_.protocol_mode.store(0);
  // s1 0x04: group 2 bit 2 (3368); the value then holds 0x04, so bit 1
  // (3336) is added. Group 2 lists bit 2 before bit 1.
  EXPECT_EQ(6, Report(0x00, 0x04, 0x00));
  EXPECT_EQ(0, Report(0x00, 0x04, 0x00));
  EXPECT_EQ(6, Report(0x00, 0x00, 0x00));
  ASSERT_EQ(2u, sent_.size());
  // 3368 = 0xD28 -> 0x2D28, 3336 = 0xD08 -> 0x2D08; ended adds 0x8000.
  EXPECT_EQ((Bytes{0x85, 2, 0x2D, 0x28, 0x2D, 0x08}), sent_[0]);
  EXPECT_EQ((Bytes{0x85, 2, 0xAD, 0x28, 0xAD, 0x08}), sent_[1]);
  // After clearing, what is on is announced again.
  Report(0x00, 0x01, 0x00);
  ResyncReportedConditions(&reported_);
  EXPECT_EQ(4, Report(0x00, 0x01, 0x00));
  EXPECT_EQ((Bytes{0x85, 1, 0x10, 0x60}), sent_.back());  // 96 in group 1
}

TEST_F(ConditionReportTest, ResyncAnnouncesWhatIsOnAndEndsWhatWentOff) {
  state_.protocol_mode.store(0);
  // On mains failure: 64, 3368, 3336. Then a resync with the mains back:
  // 64 is announced again, 3368 and 3336 end; the next report is quiet.
  Report(0x00, 0x06, 0x00);
  ResyncReportedConditions(&reported_);
  EXPECT_EQ(8, Report(0x00, 0x02, 0x00));
  EXPECT_EQ((Bytes{0x85, 3, 0x10, 0x40, 0xAD, 0x28, 0xAD, 0x08}), sent_.back());
  EXPECT_EQ(0, Report(0x00, 0x02, 0x00));
  // A resync whose send failed is tried again in full.
  ResyncReportedConditions(&reported_);
  result_ = -1;
  Report(0x00, 0x02, 0x00);
  result_ = 0;
  EXPECT_EQ(4, Report(0x00, 0x02, 0x00));
  EXPECT_EQ((Bytes{0x85, 1, 0x10, 0x40}), sent_.back());
}

TEST_F(ConditionReportTest, FirstReportWithEveryStatusBit) {
  state_.protocol_mode.store(0);
  // Group 1 = 0x08 | 0x03: 96, 64 (bit 3 has no row). Group 2 = 0x11 |
  // 0x6C, and s0 bit 7 adds 0x80 (so not 0x02): 304, 3368, 3200, 257, 2176,
  // 2177, 3340. Group 3 = 0x0E: 3080, 1544, 2568.
  EXPECT_EQ(26, Report(0xFF, 0xFF, 0xFF));
  ASSERT_EQ(1u, sent_.size());
  EXPECT_EQ((Bytes{0x85, 12,   0x10, 0x60, 0x10, 0x40, 0x21, 0x30, 0x2D,
                   0x28, 0x2C, 0x80, 0x21, 0x01, 0x28, 0x80, 0x28, 0x81,
                   0x2D, 0x0C, 0x3C, 0x08, 0x36, 0x08, 0x3A, 0x08}),
            sent_[0]);
  EXPECT_EQ(0x0Bu, reported_.masks[0]);
  EXPECT_EQ(0xFDu, reported_.masks[1]);
  EXPECT_EQ(0x0Eu, reported_.masks[2]);
}

TEST_F(ConditionReportTest, BitsWithoutARowAreRecordedSilently) {
  state_.protocol_mode.store(0);
  EXPECT_EQ(0, Report(0x00, 0x00, 0x08));  // group 1 bit 3: no row
  EXPECT_TRUE(sent_.empty());
  EXPECT_EQ(0x08u, reported_.masks[0]);
  EXPECT_EQ(4, Report(0x00, 0x02, 0x08));  // only 64 is new
  EXPECT_EQ((Bytes{0x85, 1, 0x10, 0x40}), sent_.back());
  EXPECT_EQ(0, Report(0x00, 0x02, 0x00));
  EXPECT_EQ(0x02u, reported_.masks[0]);
}

TEST_F(ConditionReportTest, AlarmSummaryHighBitsChooseOneOfTwoRows) {
  state_.protocol_mode.store(0);
  Report(0x40, 0x00, 0x00);  // 0x40 alone: 3336 began
  Report(0xC0, 0x00, 0x00);  // 0x80 wins: 3336 ended, 3340 began
  ResyncReportedConditions(&reported_);
  Report(0x80, 0x04, 0x00);  // 3368 and 3340; no 3336 despite 0x04
  ASSERT_EQ(3u, sent_.size());
  EXPECT_EQ((Bytes{0x85, 1, 0x2D, 0x08}), sent_[0]);
  EXPECT_EQ((Bytes{0x85, 2, 0xAD, 0x08, 0x2D, 0x0C}), sent_[1]);
  EXPECT_EQ((Bytes{0x85, 2, 0x2D, 0x28, 0x2D, 0x0C}), sent_[2]);
}

TEST_F(ConditionReportTest, EitherSourceSetsACondition) {
  // Alarm 178: group 1 bit 8 (event 4); alarm 36: group 3 bit 7 (2304, the
  // last row). s1 0x01: group 1 bit 0 (96); s0 0x02: group 3 bit 1 (3080).
  SetAlarmBits(state_, {36, 178});
  state_.protocol_mode.store(1);
  EXPECT_EQ(10, Report(0x02, 0x01, 0x00));
  EXPECT_EQ((Bytes{0x85, 4, 0x10, 0x60, 0x10, 0x04, 0x3C, 0x08, 0x39, 0x00}),
            sent_[0]);
  EXPECT_EQ(4, Report(0x02, 0x00, 0x00));  // 96 ends, the alarms hold
  EXPECT_EQ((Bytes{0x85, 1, 0x90, 0x60}), sent_[1]);
  // An ASCII UPS has no alarm bits: 4 and 2304 end.
  state_.protocol_mode.store(0);
  EXPECT_EQ(6, Report(0x02, 0x00, 0x00));
  EXPECT_EQ((Bytes{0x85, 2, 0x90, 0x04, 0xB9, 0x00}), sent_[2]);
}

TEST_F(ConditionReportTest, FailedSendIsReportedAgain) {
  state_.protocol_mode.store(0);
  result_ = -1;
  EXPECT_EQ(-1, Report(0x00, 0x04, 0x00));
  EXPECT_EQ(0u, reported_.masks[1]);
  result_ = 0;
  EXPECT_EQ(6, Report(0x00, 0x04, 0x00));
  ASSERT_EQ(2u, sent_.size());
  EXPECT_EQ(sent_[0], sent_[1]);
}

// Every row with an alarm bit, typed from the table as {alarm bit, group,
// event code}: alone and on, it gives exactly its own began entry.
TEST(ConditionTableTest, EachAlarmBitReportsItsOwnEvent) {
  const int rows[][3] = {
      {178, 1, 4},    {229, 1, 30},   {172, 1, 40},   {94, 1, 48},
      {175, 1, 57},   {97, 1, 63},    {171, 1, 71},   {98, 1, 119},
      {168, 2, 385},  {105, 2, 393},  {169, 2, 386},  {225, 2, 400},
      {3, 2, 777},    {159, 2, 3201}, {162, 2, 3202}, {165, 2, 3203},
      {170, 2, 3072}, {12, 2, 299},   {206, 2, 314},  {5, 2, 780},
      {208, 2, 2129}, {191, 2, 2144}, {199, 2, 2164}, {42, 2, 2592},
      {174, 3, 313},  {200, 3, 308},  {24, 3, 1072},  {223, 3, 1328},
      {21, 3, 1584},  {69, 3, 1841},  {20, 3, 2352},  {75, 3, 1408},
      {50, 3, 3204},  {11, 3, 3084},  {58, 3, 3208},  {82, 3, 610},
      {224, 3, 626},  {33, 3, 769},   {31, 3, 1024},  {2, 3, 1036},
      {117, 3, 1104}, {79, 3, 1125},  {30, 3, 1280},  {26, 3, 1304},
      {34, 3, 1536},  {35, 3, 1636},  {70, 3, 1792},  {68, 3, 2057},
      {36, 3, 2304}};
  for (const auto& row : rows) {
    UpsState state;
    SetAlarmBits(state, {row[0]});
    state.protocol_mode.store(1);
    ReportedConditions reported;
    Bytes sent;
    ReportConditionChanges(state, &reported, 0, 0, 0,
                           [&sent](const uint8_t* b, int n) {
                             sent.insert(sent.end(), b, b + n);
                             return n;
                           });
    int entry = (row[1] << 12) | row[2];
    EXPECT_EQ((Bytes{0x85, 1, static_cast<uint8_t>(entry >> 8),
                     static_cast<uint8_t>(entry & 0xFF)}),
              sent)
        << "alarm bit " << row[0];
  }
}

}  // namespace
}  // namespace zep
