#include "protocol/condition_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

// Records every datagram handed to the sender; answers with `result`, or
// with the datagram's length when `result` is not set.
struct SendLog {
  std::vector<Bytes> sent;
  int result = -100;

  DatagramSender Sender() {
    return [this](const uint8_t* bytes, int length) {
      sent.emplace_back(bytes, bytes + length);
      return result == -100 ? length : result;
    };
  }
};

// Marks alarm bits as supported and on. With the bits given in ascending
// order, the n-th of them is value n of the packed alarm block.
void SetAlarmBits(UpsState& state, std::initializer_list<int> bits) {
  int position = 0;
  for (int bit : bits) {
    state.alarm_presence[bit / 8].fetch_or(static_cast<uint8_t>(1 << (bit % 8)));
    state.alarm_values[position++].store(1);
  }
}

class ConditionReportTest : public ::testing::Test {
 protected:
  int Report(uint8_t s0, uint8_t s1, uint8_t s2) {
    return ReportConditionChanges(state_, &reported_, s0, s1, s2,
                                  log_.Sender());
  }

  UpsState state_;
  ReportedConditions reported_;
  SendLog log_;
};

TEST_F(ConditionReportTest, FirstReportAnnouncesWhatIsOnThenNothingRepeats) {
  state_.protocol_mode.store(0);
  // s1 0x04 gives group 2 mask 0x04 (3368, mains failure); the group-2
  // value then holds 0x04, so 0x02 is added as well (3336). Table order in
  // group 2 puts mask bit 2 before mask bit 1.
  EXPECT_EQ(6, Report(0x00, 0x04, 0x00));
  ASSERT_EQ(1u, log_.sent.size());
  // 3368 = 0xD28 -> 0x2D28; 3336 = 0xD08 -> 0x2D08.
  EXPECT_EQ((Bytes{0x85, 2, 0x2D, 0x28, 0x2D, 0x08}), log_.sent[0]);

  EXPECT_EQ(0, Report(0x00, 0x04, 0x00));
  EXPECT_EQ(1u, log_.sent.size());

  // Both end: bit 15 set, 0xAD28 and 0xAD08.
  EXPECT_EQ(6, Report(0x00, 0x00, 0x00));
  ASSERT_EQ(2u, log_.sent.size());
  EXPECT_EQ((Bytes{0x85, 2, 0xAD, 0x28, 0xAD, 0x08}), log_.sent[1]);
}

TEST_F(ConditionReportTest, AllStatusBitsOnGiveEveryStatusRow) {
  state_.protocol_mode.store(0);
  // Group 1 = (0xFF & 0x08) | (0xFF & 0x03) = 0x0B: rows 96 and 64 (bit 3
  // has no row). Group 2 = 0x11 | 0x6C = 0x7D, s0 bit 7 adds 0x80 (and so
  // 0x02 is not added): 304, 3368, 3200, 257, 2176, 2177, 3340. Group 3 =
  // 0xFF & 0x0E: 3080, 1544, 2568.
  EXPECT_EQ(26, Report(0xFF, 0xFF, 0xFF));
  ASSERT_EQ(1u, log_.sent.size());
  EXPECT_EQ((Bytes{0x85, 12,
                   0x10, 0x60, 0x10, 0x40,                          // group 1
                   0x21, 0x30, 0x2D, 0x28, 0x2C, 0x80, 0x21, 0x01,  // group 2
                   0x28, 0x80, 0x28, 0x81, 0x2D, 0x0C,
                   0x3C, 0x08, 0x36, 0x08, 0x3A, 0x08}),            // group 3
            log_.sent[0]);
  EXPECT_EQ(0x0Bu, reported_.masks[0]);
  EXPECT_EQ(0xFDu, reported_.masks[1]);
  EXPECT_EQ(0x0Eu, reported_.masks[2]);
}

TEST_F(ConditionReportTest, BitsWithoutARowAreRecordedSilently) {
  state_.protocol_mode.store(0);
  // s2 0x08 is group 1 mask bit 3, which has no row.
  EXPECT_EQ(0, Report(0x00, 0x00, 0x08));
  EXPECT_TRUE(log_.sent.empty());
  EXPECT_EQ(0x08u, reported_.masks[0]);
  // With s1 0x02 only 64 (group 1 mask bit 1, 0x040 -> 0x1040) is new.
  EXPECT_EQ(4, Report(0x00, 0x02, 0x08));
  ASSERT_EQ(1u, log_.sent.size());
  EXPECT_EQ((Bytes{0x85, 1, 0x10, 0x40}), log_.sent[0]);
  EXPECT_EQ(0, Report(0x00, 0x02, 0x00));
  EXPECT_EQ(1u, log_.sent.size());
  EXPECT_EQ(0x02u, reported_.masks[0]);
}

TEST_F(ConditionReportTest, AlarmSummaryHighBitsChooseOneOfTwoRows) {
  state_.protocol_mode.store(0);
  // s0 0x40 without 0x80 adds group 2 bit 1 (3336).
  Report(0x40, 0x00, 0x00);
  // s0 0xC0: 0x80 wins, bit 7 (3340) on and bit 1 off. Group 2 table order
  // has bit 1 (3336) before bit 7 (3340): 3336 ended, 3340 began.
  Report(0xC0, 0x00, 0x00);
  ClearReportedConditions(&reported_);
  // s0 0x80 with s1 0x04: 3368 and 3340, but no 3336 although the group-2
  // value holds 0x04.
  Report(0x80, 0x04, 0x00);
  ASSERT_EQ(3u, log_.sent.size());
  EXPECT_EQ((Bytes{0x85, 1, 0x2D, 0x08}), log_.sent[0]);
  EXPECT_EQ((Bytes{0x85, 2, 0xAD, 0x08, 0x2D, 0x0C}), log_.sent[1]);
  EXPECT_EQ((Bytes{0x85, 2, 0x2D, 0x28, 0x2D, 0x0C}), log_.sent[2]);
}

TEST_F(ConditionReportTest, EitherSourceSetsACondition) {
  // Alarm bit 178 is group 1 mask bit 8 (event 4); alarm bit 36 is group 3
  // mask bit 7 (event 2304, the last row).
  SetAlarmBits(state_, {36, 178});
  state_.protocol_mode.store(1);
  // s1 0x01 is group 1 mask bit 0 (event 96); s0 0x02 is group 3 bit 1
  // (event 3080). Group 1 first, table order within each group.
  EXPECT_EQ(10, Report(0x02, 0x01, 0x00));
  ASSERT_EQ(1u, log_.sent.size());
  // 96 -> 0x1060, 4 -> 0x1004, 3080 = 0xC08 -> 0x3C08, 2304 = 0x900 ->
  // 0x3900.
  EXPECT_EQ((Bytes{0x85, 4, 0x10, 0x60, 0x10, 0x04, 0x3C, 0x08, 0x39, 0x00}),
            log_.sent[0]);

  // The status byte drops 96 while the alarm bits hold their rows.
  EXPECT_EQ(4, Report(0x02, 0x00, 0x00));
  EXPECT_EQ((Bytes{0x85, 1, 0x90, 0x60}), log_.sent[1]);
}

TEST_F(ConditionReportTest, AsciiUpsIgnoresAlarmBits) {
  SetAlarmBits(state_, {178});
  state_.protocol_mode.store(0);
  EXPECT_EQ(0, Report(0x00, 0x00, 0x00));
  EXPECT_TRUE(log_.sent.empty());
}

TEST_F(ConditionReportTest, FailedSendIsReportedAgain) {
  state_.protocol_mode.store(0);
  log_.result = -1;
  EXPECT_EQ(-1, Report(0x00, 0x04, 0x00));
  EXPECT_EQ(0u, reported_.masks[1]);
  log_.result = -100;
  EXPECT_EQ(6, Report(0x00, 0x04, 0x00));
  ASSERT_EQ(2u, log_.sent.size());
  EXPECT_EQ(log_.sent[0], log_.sent[1]);
}

TEST_F(ConditionReportTest, ClearingMakesTheNextReportAnnounceAgain) {
  state_.protocol_mode.store(0);
  Report(0x00, 0x01, 0x00);
  ClearReportedConditions(&reported_);
  EXPECT_EQ(4, Report(0x00, 0x01, 0x00));
  ASSERT_EQ(2u, log_.sent.size());
  EXPECT_EQ((Bytes{0x85, 1, 0x10, 0x60}), log_.sent[1]);
}

// Every row with an alarm bit, typed from the table as {alarm bit, group,
// event code}: alone and on, it gives exactly its own began entry.
TEST(ConditionTableTest, EachAlarmBitReportsItsOwnEvent) {
  const int rows[][3] = {
      {178, 1, 4},     {229, 1, 30},    {172, 1, 40},    {94, 1, 48},
      {175, 1, 57},    {97, 1, 63},     {171, 1, 71},    {98, 1, 119},
      {168, 2, 385},   {105, 2, 393},   {169, 2, 386},   {225, 2, 400},
      {3, 2, 777},     {159, 2, 3201},  {162, 2, 3202},  {165, 2, 3203},
      {170, 2, 3072},  {12, 2, 299},    {206, 2, 314},   {5, 2, 780},
      {208, 2, 2129},  {191, 2, 2144},  {199, 2, 2164},  {42, 2, 2592},
      {174, 3, 313},   {200, 3, 308},   {24, 3, 1072},   {223, 3, 1328},
      {21, 3, 1584},   {69, 3, 1841},   {20, 3, 2352},   {75, 3, 1408},
      {50, 3, 3204},   {11, 3, 3084},   {58, 3, 3208},   {82, 3, 610},
      {224, 3, 626},   {33, 3, 769},    {31, 3, 1024},   {2, 3, 1036},
      {117, 3, 1104},  {79, 3, 1125},   {30, 3, 1280},   {26, 3, 1304},
      {34, 3, 1536},   {35, 3, 1636},   {70, 3, 1792},   {68, 3, 2057},
      {36, 3, 2304},
  };
  for (const auto& row : rows) {
    UpsState state;
    SetAlarmBits(state, {row[0]});
    state.protocol_mode.store(1);
    ReportedConditions reported;
    SendLog log;
    ReportConditionChanges(state, &reported, 0, 0, 0, log.Sender());
    ASSERT_EQ(1u, log.sent.size()) << "alarm bit " << row[0];
    int entry = (row[1] << 12) | row[2];
    EXPECT_EQ((Bytes{0x85, 1, static_cast<uint8_t>(entry >> 8),
                     static_cast<uint8_t>(entry & 0xFF)}),
              log.sent[0])
        << "alarm bit " << row[0];
  }
}

}  // namespace
}  // namespace zep
