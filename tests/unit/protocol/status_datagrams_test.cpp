#include "protocol/status_datagrams.h"

#include <gtest/gtest.h>

#include <vector>

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(EventDatagramTest, BuildsEntriesMostSignificantByteFirst) {
  EventDatagram d;
  EXPECT_EQ(4, AppendEventEntry(&d, 3368, false, 2));  // 0x2000 | 0xD28
  EXPECT_EQ(6, AppendEventEntry(&d, 3880, true, 3));   // 0x8000|0x3000|0xF28
  EXPECT_EQ((Bytes{0x85, 2, 0x2D, 0x28, 0xBF, 0x28}),
            Bytes(d.bytes, d.bytes + 6));
  // Codes above 4095 and groups outside 1..3 are refused.
  EXPECT_EQ(6, AppendEventEntry(&d, 4096, false, 2));
  EXPECT_EQ(6, AppendEventEntry(&d, 100, false, 0));
  EXPECT_EQ(6, AppendEventEntry(&d, 100, false, 4));
  for (int i = 2; i < 255; ++i) AppendEventEntry(&d, i, false, 1);
  EXPECT_EQ(512, AppendEventEntry(&d, 300, false, 1));  // full at 255
  EXPECT_EQ(255, d.bytes[1]);
  ClearEventDatagram(&d);
  EXPECT_EQ(2, EventDatagramLength(d));
}

TEST(EventDatagramTest, ReaderStaysWithinWhatArrived) {
  // Count 200, but two whole entries and half a third arrived. 0x6D: bit 6
  // (unused) set, severity 2, code bits 0xD.
  const uint8_t data[] = {0x85, 200, 0x6D, 0x28, 0xBF, 0x28, 0x10};
  EXPECT_EQ(2, CountEventEntries(data, 7));
  EXPECT_EQ(1, CountEventEntries(data, 5));
  EventEntry e;
  ASSERT_TRUE(ReadEventEntry(data, 7, 0, &e));
  EXPECT_TRUE(e.began);
  EXPECT_EQ(2, e.severity);
  EXPECT_EQ(3368, e.code);
  ASSERT_TRUE(ReadEventEntry(data, 7, 1, &e));
  EXPECT_FALSE(e.began);
  EXPECT_EQ(3, e.severity);
  EXPECT_EQ(3880, e.code);
  EXPECT_FALSE(ReadEventEntry(data, 7, 2, &e));
  // More bytes than counted: only the counted entries.
  const uint8_t one[] = {0x85, 1, 0x2D, 0x28, 0xBF, 0x28};
  EXPECT_EQ(1, CountEventEntries(one, 6));
  const uint8_t none[] = {0x85, 0};
  EXPECT_EQ(0, CountEventEntries(none, 2));
  const uint8_t value[] = {0x8F, 1, 0, 0};
  EXPECT_EQ(-1, CountEventEntries(value, 4));
  EXPECT_EQ(-1, CountEventEntries(one, 1));
}

TEST(ValueDatagramTest, BuildsAndReadsTaggedValues) {
  ValueDatagram d;
  // 230.5: r 231, scale 6, 23050, tag 192 = 0xC0. 12.5: scale 7, 12500.
  EXPECT_EQ(8, AppendValue(&d, 192, 230.5));
  EXPECT_EQ(12, AppendValue(&d, 88, 12.5));
  EXPECT_EQ(12, AppendValue(&d, 256, 1.0));
  const Bytes expected{0x8F, 2,    0,    0,    0xC0, 0x62,
                       0x30, 0x50, 0x58, 0x71, 0x25, 0x00};
  EXPECT_EQ(expected, Bytes(d.bytes, d.bytes + 12));

  // A count of 5 but 13 bytes: two whole values.
  Bytes data = expected;
  data[1] = 5;
  data.push_back(0xE2);
  ASSERT_EQ(2, CountValues(data.data(), 13));
  TaggedValue v;
  ASSERT_TRUE(ReadValue(data.data(), 13, 1, &v));
  EXPECT_EQ(88, v.tag);
  EXPECT_DOUBLE_EQ(12.5, v.value);
  EXPECT_FALSE(ReadValue(data.data(), 13, 2, &v));
  EXPECT_EQ(0, CountValues(data.data(), 7));
  const uint8_t event[] = {0x85, 1, 0x2D, 0x28};
  EXPECT_EQ(-1, CountValues(event, 4));

  for (int i = 2; i < 255; ++i) AppendValue(&d, 1, i);
  EXPECT_EQ(1024, AppendValue(&d, 2, 1.0));  // full at 255
}

}  // namespace
}  // namespace zep
