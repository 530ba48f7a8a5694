#include "protocol/status_datagrams.h"

#include <gtest/gtest.h>

#include <vector>

namespace zep {
namespace {

std::vector<uint8_t> Bytes(const uint8_t* data, int length) {
  return std::vector<uint8_t>(data, data + length);
}

TEST(EventDatagramTest, AppendsEntriesMostSignificantByteFirst) {
  EventDatagram datagram;
  EXPECT_EQ(2, EventDatagramLength(datagram));
  // 3368 = 0xD28, began (bit 15 clear), group 2 in bits 13-12: 0x2D28.
  EXPECT_EQ(4, AppendEventEntry(&datagram, 3368, false, 2));
  // 3880 = 0xF28, ended, group 3: 0x8000 | 0x3000 | 0x0F28 = 0xBF28.
  EXPECT_EQ(6, AppendEventEntry(&datagram, 3880, true, 3));
  // 96 = 0x060, began, group 1: 0x1060.
  EXPECT_EQ(8, AppendEventEntry(&datagram, 96, false, 1));
  EXPECT_EQ((std::vector<uint8_t>{0x85, 3, 0x2D, 0x28, 0xBF, 0x28, 0x10, 0x60}),
            Bytes(datagram.bytes, 8));

  ClearEventDatagram(&datagram);
  EXPECT_EQ(2, EventDatagramLength(datagram));
  EXPECT_EQ(0x85, datagram.bytes[0]);
}

TEST(EventDatagramTest, RefusesEntriesThatDoNotFit) {
  EventDatagram datagram;
  EXPECT_EQ(2, AppendEventEntry(&datagram, 4096, false, 2));
  EXPECT_EQ(2, AppendEventEntry(&datagram, -1, false, 2));
  EXPECT_EQ(2, AppendEventEntry(&datagram, 100, false, 0));
  EXPECT_EQ(2, AppendEventEntry(&datagram, 100, false, 4));
  for (int i = 0; i < 255; ++i) AppendEventEntry(&datagram, i, false, 1);
  // The count is one byte: the 256th entry is not added.
  EXPECT_EQ(512, AppendEventEntry(&datagram, 300, false, 1));
  EXPECT_EQ(255, datagram.bytes[1]);
}

TEST(EventDatagramTest, ReaderDecodesEntries) {
  // 0x6D: bit 6 (unused) set, severity 2, code bits 0xD; then 0xBF28 ended.
  const uint8_t data[] = {0x85, 2, 0x6D, 0x28, 0xBF, 0x28};
  ASSERT_EQ(2, CountEventEntries(data, 6));
  EventEntry entry;
  ASSERT_TRUE(ReadEventEntry(data, 6, 0, &entry));
  EXPECT_TRUE(entry.began);
  EXPECT_EQ(2, entry.severity);
  EXPECT_EQ(3368, entry.code);
  ASSERT_TRUE(ReadEventEntry(data, 6, 1, &entry));
  EXPECT_FALSE(entry.began);
  EXPECT_EQ(3, entry.severity);
  EXPECT_EQ(3880, entry.code);
}

TEST(EventDatagramTest, ReaderNeverGoesPastWhatArrived) {
  const uint8_t data[] = {0x85, 200, 0x2D, 0x28, 0xBF, 0x28, 0x10};
  // The count says 200, but only two whole entries (and half of a third)
  // arrived.
  EXPECT_EQ(2, CountEventEntries(data, 7));
  EXPECT_EQ(1, CountEventEntries(data, 5));
  EXPECT_EQ(0, CountEventEntries(data, 3));
  EventEntry entry;
  entry.code = 7;
  EXPECT_FALSE(ReadEventEntry(data, 7, 2, &entry));
  EXPECT_FALSE(ReadEventEntry(data, 7, -1, &entry));
  EXPECT_EQ(7, entry.code);

  // More bytes than the count needs: only the counted entries.
  const uint8_t one[] = {0x85, 1, 0x2D, 0x28, 0xBF, 0x28};
  EXPECT_EQ(1, CountEventEntries(one, 6));

  const uint8_t empty[] = {0x85, 0};
  EXPECT_EQ(0, CountEventEntries(empty, 2));
  const uint8_t other[] = {0x8F, 1, 0, 0, 0xC0, 0x62, 0x30, 0x00};
  EXPECT_EQ(-1, CountEventEntries(other, 8));
  EXPECT_EQ(-1, CountEventEntries(one, 1));
  EXPECT_EQ(-1, CountEventEntries(nullptr, 6));
}

TEST(ValueDatagramTest, AppendsTaggedPackedDecimals) {
  ValueDatagram datagram;
  EXPECT_EQ(4, ValueDatagramLength(datagram));
  // 230.5: r = 231, scale 6, digits 23050. Tag 192 = 0xC0.
  EXPECT_EQ(8, AppendValue(&datagram, 192, 230.5));
  // 12.5: scale 7, digits 12500. Tag 88 = 0x58.
  EXPECT_EQ(12, AppendValue(&datagram, 88, 12.5));
  EXPECT_EQ((std::vector<uint8_t>{0x8F, 2, 0, 0, 0xC0, 0x62, 0x30, 0x50, 0x58,
                                  0x71, 0x25, 0x00}),
            Bytes(datagram.bytes, 12));
  EXPECT_EQ(2, ValueCount(datagram));

  EXPECT_EQ(12, AppendValue(&datagram, 256, 1.0));
  EXPECT_EQ(12, AppendValue(&datagram, -1, 1.0));
  for (int i = 2; i < 255; ++i) AppendValue(&datagram, 1, i);
  EXPECT_EQ(1024, AppendValue(&datagram, 2, 1.0));
  EXPECT_EQ(255, ValueCount(datagram));

  ClearValueDatagram(&datagram);
  EXPECT_EQ(4, ValueDatagramLength(datagram));
  EXPECT_EQ(0x8F, datagram.bytes[0]);
}

TEST(ValueDatagramTest, ReaderDecodesOnlyWholeValuesThatArrived) {
  const uint8_t data[] = {0x8F, 5,    0,    0,    0xC0, 0x62,
                          0x30, 0x50, 0x58, 0x71, 0x25, 0x00, 0xE2};
  // Count 5, but two whole values arrived (13 bytes = 4 + 4 + 4 + 1).
  ASSERT_EQ(2, CountValues(data, 13));
  TaggedValue value;
  ASSERT_TRUE(ReadValue(data, 13, 0, &value));
  EXPECT_EQ(192, value.tag);
  EXPECT_DOUBLE_EQ(230.5, value.value);
  ASSERT_TRUE(ReadValue(data, 13, 1, &value));
  EXPECT_EQ(88, value.tag);
  EXPECT_DOUBLE_EQ(12.5, value.value);
  EXPECT_FALSE(ReadValue(data, 13, 2, &value));

  EXPECT_EQ(0, CountValues(data, 3));
  EXPECT_EQ(0, CountValues(data, 7));
  const uint8_t event[] = {0x85, 1, 0x2D, 0x28};
  EXPECT_EQ(-1, CountValues(event, 4));
  EXPECT_EQ(-1, CountValues(data, 1));
}

}  // namespace
}  // namespace zep
