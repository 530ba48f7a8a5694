#include "protocol/ascii_answers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace zep {
namespace {

using Values = std::vector<std::pair<int, double>>;

Values ToList(const AnswerValues& values) {
  Values list;
  for (int i = 0; i < values.count; ++i) {
    list.emplace_back(values.values[i].tag, values.values[i].value);
  }
  return list;
}

void ExpectValues(const Values& expected, const AnswerValues& actual) {
  Values list = ToList(actual);
  ASSERT_EQ(expected.size(), list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(expected[i].first, list[i].first) << i;
    EXPECT_DOUBLE_EQ(expected[i].second, list[i].second) << i;
  }
}

int Length(const char* answer) { return static_cast<int>(std::strlen(answer)); }

// "&S1": 2 hex digits of the alarm summary, 2 of the state, 3 of the
// setting, then "0", "0", "20", "110", "0" and CR: 16 bytes.
TEST(StatusAnswerTest, ReadsBothBytes) {
  StatusRingEntry entry;
  entry.status_bits = 0x10;
  const char answer[] = "130600700201100\r";
  ASSERT_EQ(16, Length(answer));
  EXPECT_EQ(1, ReadStatusAnswer(answer, 16, 0x00, &entry));
  EXPECT_EQ(0x13, entry.alarm_summary);
  EXPECT_EQ(0x06, entry.state);
  EXPECT_EQ(0x10, entry.status_bits);

  EXPECT_EQ(1, ReadStatusAnswer("0a02007002011000\r", 16, 0x01, &entry));
  EXPECT_EQ(0x0B, entry.alarm_summary);  // 0x0A with 0x01 added
}

TEST(StatusAnswerTest, StateWithout02ResetsTheEntry) {
  StatusRingEntry entry;
  entry.status_bits = 0x10;
  // State 0x04 lacks 0x02: state 0x06, status bits 0x10 | 0x06, alarm 0.
  EXPECT_EQ(1, ReadStatusAnswer("800400700201100\r", 16, 0x01, &entry));
  EXPECT_EQ(0x00, entry.alarm_summary);
  EXPECT_EQ(0x06, entry.state);
  EXPECT_EQ(0x16, entry.status_bits);
}

TEST(StatusAnswerTest, WrongLengthOrDigitsAreNotUsed) {
  StatusRingEntry entry;
  entry.alarm_summary = 0x55;
  EXPECT_EQ(0, ReadStatusAnswer("13060070020110\r", 15, 0, &entry));
  EXPECT_EQ(0, ReadStatusAnswer("1306007002011000\r", 17, 0, &entry));
  EXPECT_EQ(0, ReadStatusAnswer("1G0600700201100\r", 16, 0, &entry));
  EXPECT_EQ(0, ReadStatusAnswer("NG\r", 3, 0, &entry));
  EXPECT_EQ(0x55, entry.alarm_summary);
}

TEST(StatusAnswerTest, OverTemperatureBitOnlyForAsciiUps) {
  EXPECT_EQ(0x01, AlarmSummaryExtraBits(0, true, 51.5f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(0, true, 51.4f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(0, false, 60.0f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(1, true, 60.0f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(-1, true, 60.0f));
}

TEST(StatusRingTest, PrepareAndAdvance) {
  StatusRing ring;
  ring.entries[0] = {0x11, 0x22, 0x33};
  ring.entries[1] = {0x44, 0x55, 0x66};
  ring.index = 1;
  PrepareStatusRing(&ring);
  EXPECT_EQ(0, ring.index);
  EXPECT_EQ(0x00, ring.entries[0].alarm_summary);
  EXPECT_EQ(0x02, ring.entries[0].state);
  EXPECT_EQ(0x06, ring.entries[0].status_bits);
  EXPECT_EQ(0x44, ring.entries[1].alarm_summary);
  EXPECT_EQ(0x02, ring.entries[1].state);
  EXPECT_EQ(0x06, ring.entries[1].status_bits);
  AdvanceStatusRing(&ring);
  EXPECT_EQ(&ring.entries[1], CurrentRingEntry(&ring));
  AdvanceStatusRing(&ring);
  EXPECT_EQ(&ring.entries[0], CurrentRingEntry(&ring));
}

// "QQ": "(" 2300 2295 FFFFFFFF 045 500 136 0270 315 012, status, CR.
const char kQq[] = "(2300 2295 FFFFFFFF 045 500 136 0270 315 012 00110001\r";

TEST(QqAnswerTest, ReadsValuesAndStatusBits) {
  ASSERT_EQ(54, Length(kQq));
  AnswerValues values;
  uint8_t bits = 0;
  EXPECT_EQ(1, ReadQqAnswer(kQq, 54, 1, &values, &bits));
  ExpectValues({{192, 230.0}, {160, 229.5}, {172, 45.0}, {208, 50.0},
                {176, 13.6}, {64, 27.0}, {88, 31.5}, {169, 1.2}},
               values);
  // "00110001": bits 5, 4 and 0.
  EXPECT_EQ(0x31, bits);

  EXPECT_EQ(1, ReadQqAnswer(kQq, 54, 0, &values, &bits));
  EXPECT_EQ(201, values.values[7].tag);  // ASCII UPS

  ValueDatagram datagram;
  EXPECT_EQ(4 + 4 * 8, AppendAnswerValues(&datagram, values));
}

TEST(QqAnswerTest, MissingMeasurementGivesNoValue) {
  // The translator prints an absent measurement as -1 ("-01").
  const char answer[] =
      "(2300 2295 FFFFFFFF 045 500 -01 0270 315 012 0@ P1A0:\r";
  AnswerValues values;
  uint8_t bits = 0;
  EXPECT_EQ(1, ReadQqAnswer(answer, 54, 1, &values, &bits));
  ExpectValues({{192, 230.0}, {160, 229.5}, {172, 45.0}, {208, 50.0},
                {64, 27.0}, {88, 31.5}, {169, 1.2}},
               values);
  // Low 4 bits not 0: "1" (bit 3), "A" 0x41 (bit 2), ":" 0x3A (bit 0);
  // "@" 0x40, " " and "P" 0x50 are 0.
  EXPECT_EQ(0x0D, bits);
}

TEST(QqAnswerTest, WrongShapeIsNotUsed) {
  AnswerValues values;
  values.count = 3;
  uint8_t bits = 0x77;
  EXPECT_EQ(0, ReadQqAnswer(kQq, 53, 1, &values, &bits));
  std::string longer = std::string(kQq) + "X";
  EXPECT_EQ(0, ReadQqAnswer(longer.c_str(), 55, 1, &values, &bits));
  std::string no_paren = kQq;
  no_paren[0] = ' ';
  EXPECT_EQ(0, ReadQqAnswer(no_paren.c_str(), 54, 1, &values, &bits));
  EXPECT_EQ(3, values.count);
  EXPECT_EQ(0x77, bits);
}

TEST(BatteryAnswerTest, ReadsTheFigureFromThe11thCharacter) {
  // t, t, 0, measurement 35, 99: "315" "315" "0000" "095" "99" CR.
  int figure = -1;
  EXPECT_EQ(1, ReadBatteryAnswer("315315000009599\r", 16, &figure));
  EXPECT_EQ(95, figure);
  EXPECT_EQ(1, ReadBatteryAnswer("3153150000xyz99\r", 16, &figure));
  EXPECT_EQ(95, figure);
  EXPECT_EQ(0, ReadBatteryAnswer("31531500000959\r", 15, &figure));
}

// "Q1": "(" 230.0 232.0 229.5 045 50.0 13.6 31.5, status, CR.
const char kQ1[] = "(230.0 232.0 229.5 045 50.0 13.6 31.5 00001001\r";

TEST(Q1AnswerTest, ReadsValues) {
  ASSERT_EQ(47, Length(kQ1));
  AnswerValues values;
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 0, 1234.0f, 27.5f, &values));
  // ASCII UPS: the measurements of the state are not used.
  ExpectValues({{192, 230.0}, {160, 229.5}, {172, 45.0}, {208, 50.0},
                {64, 13.6}, {88, 31.5}},
               values);
  // Binary UPS: 1234 / 100 + 0.5 = 12.84 -> 12 -> 1.2 as 169; 27.5 as 176.
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 1, 1234.0f, 27.5f, &values));
  ExpectValues({{192, 230.0}, {160, 229.5}, {172, 45.0}, {208, 50.0},
                {64, 13.6}, {88, 31.5}, {169, 1.2}, {176, 27.5}},
               values);
  // 1250 / 100 + 0.5 = 13.0 -> 1.3; an absent measurement 28 is left out.
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 1, 1250.0f, -1.0f, &values));
  ASSERT_EQ(7, values.count);
  EXPECT_EQ(169, values.values[6].tag);
  EXPECT_DOUBLE_EQ(1.3, values.values[6].value);
}

TEST(Q1AnswerTest, WrongShapeIsNotUsed) {
  AnswerValues values;
  EXPECT_EQ(0, ReadQ1Answer(kQ1, 46, 1, 0, 0, &values));
  EXPECT_EQ(0, ReadQ1Answer(kQq, 54, 1, 0, 0, &values));
  EXPECT_EQ(0, ReadQ1Answer("NG\r", 3, 1, 0, 0, &values));
  EXPECT_EQ(0, values.count);
}

TEST(IdentityAnswerTest, ModelAnswer) {
  IdentityTexts texts;
  // "%-9s %s.%s\r": 9 + 1 + 5 + 1 = 16.
  EXPECT_EQ(1, ReadModelAnswer("ZPX-A1500 01.02\r", 16, 1, &texts));
  EXPECT_STREQ("ZPX-A1500", texts.model_text);
  // A short model padded to 9: no letter after the digits, whole text,
  // then cut before the spaces.
  EXPECT_EQ(1, ReadModelAnswer("T-PWR10   01.23\r", 16, 0, &texts));
  EXPECT_STREQ("T-PWR10", texts.model_text);
  EXPECT_EQ(0, ReadModelAnswer("T-PWR15J1 1.2\r", 14, 0, &texts));
  EXPECT_STREQ("T-PWR10", texts.model_text);
}

TEST(IdentityAnswerTest, VersionAnswerOfABinaryUps) {
  IdentityTexts texts;
  // "%M" + 15-character model + " " + "01.02" + "   " + CR = 27.
  const char answer[] = "%MZPX-A1500JC     01.02   \r";
  ASSERT_EQ(27, Length(answer));
  EXPECT_EQ(1, ReadVersionAnswer(answer, 27, 1, "1500VA/1350W", &texts));
  EXPECT_STREQ("ZPX-A1500JC", texts.model_text);
  EXPECT_STREQ("01.02", texts.version_text);
  EXPECT_STREQ("1500VA/1350W", texts.rating_text);
  EXPECT_STREQ("", texts.rating_record);
  // The rating text holds 19 characters.
  ReadVersionAnswer(answer, 27, 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", &texts);
  EXPECT_STREQ("ABCDEFGHIJKLMNOPQRS", texts.rating_text);
}

TEST(IdentityAnswerTest, VersionAnswerOfAnAsciiUps) {
  IdentityTexts texts;
  std::strcpy(texts.rating_text, "keep");
  // "%M" + "T-PWR15J1" and 6 spaces + " " + "012" + "ABCDE" + CR = 27.
  const char answer[] = "%MT-PWR15J1       012ABCDE\r";
  ASSERT_EQ(27, Length(answer));
  EXPECT_EQ(1, ReadVersionAnswer(answer, 27, 0, "ignored", &texts));
  EXPECT_STREQ("T-PWR15J1", texts.model_text);
  EXPECT_STREQ("012", texts.version_text);
  EXPECT_STREQ("ABCDE", texts.rating_record);
  EXPECT_STREQ("keep", texts.rating_text);
  EXPECT_EQ(0, ReadVersionAnswer(answer, 26, 0, "", &texts));
}

struct RatingCase {
  const char* model;
  int va, w, v;
};

TEST(RatingsTest, AsciiRatingsFromTheModelText) {
  const RatingCase cases[] = {
      // n = 15; "J", next "1": code 1, rest empty.
      {"T-PWR15J1", 1500, 1500, 100},
      // "A", two on "S": code 2, rest empty.
      {"T-PWR30A1S", 3000, 3000, 200},
      // "L": code 1, rest "L" (number 0); 2000 > 1000: W = 2000 x 0.8.
      {"T-PWR20L", 2000, 1600, 100},
      // 700 is not above 1000: W = 700 x 0.7 = 490.
      {"T-PWR7L", 700, 490, 100},
      // "J1", rest "4": V = 100 + 5 x 4; 1000 is not above 1000: x 0.7.
      {"T-PWR10J14", 1000, 700, 120},
      // Code 2, rest "3": V = 200 + 3 x 10; 500 < 1000: W = (500 x 0.64 /
      // 10 + 0.5 = 32.5 -> 32) x 10.
      {"T-PWR5A1S3", 500, 320, 230},
      // Code 2 and k = 1: V grows by 8; 1200 >= 1000: W = 1200 x 0.8.
      {"T-PWR12A1S1", 1200, 960, 208},
      {"T-PWR10A1S2", 1000, 800, 220},
      // 900 x 0.64 / 10 + 0.5 = 58.1 -> 58 -> 580.
      {"T-PWR9A1S0", 900, 580, 200},
      // "R", two on "2": code 2, rest empty.
      {"T-PWR15R12", 1500, 1500, 200},
      // "A", two on "1": code 1.
      {"T-PWR15A11", 1500, 1500, 100},
      // "J" at the end: code 1, rest empty.
      {"T-PWR15J", 1500, 1500, 100},
      // Code 3 with a rest: no adjustment.
      {"T-PWR15J3X", 1500, 1500, 300},
      // Too short for a number.
      {"T-P", 0, 0, 100},
      {"", 0, 0, 100},
  };
  for (const RatingCase& c : cases) {
    Ratings ratings = AsciiRatings(c.model);
    EXPECT_EQ(c.va, ratings.rated_va) << c.model;
    EXPECT_EQ(c.w, ratings.rated_w) << c.model;
    EXPECT_EQ(c.v, ratings.rated_v) << c.model;
  }
}

TEST(RatingsTest, BinaryRatingsFromTheAccessors) {
  Ratings ratings;
  ratings.rated_v = 230;
  // (100 << 16) | 100: rated voltage 100 V, percent base 100.
  BinaryRatings(1500, 1350, (100 << 16) | 100, &ratings);
  EXPECT_EQ(1500, ratings.rated_va);
  EXPECT_EQ(1350, ratings.rated_w);
  EXPECT_EQ(100, ratings.rated_v);
  ratings.rated_v = 230;
  BinaryRatings(-1, -1, -1, &ratings);
  EXPECT_EQ(-1, ratings.rated_va);
  EXPECT_EQ(230, ratings.rated_v);
}

TEST(RatingsTest, RatingDatagramCarriesEachKnownRatingTwice) {
  ValueDatagram datagram;
  Ratings ratings;
  ratings.rated_va = 1500;
  ratings.rated_w = 1350;
  ratings.rated_v = 100;
  // 1500: scale 5, 15000; 1350: scale 5, 13500; 100: scale 6, 10000.
  // Tags 226 0xE2, 234 0xEA, 227 0xE3, 235 0xEB, 224 0xE0, 232 0xE8.
  EXPECT_EQ(28, AppendRatingValues(&datagram, ratings));
  const uint8_t expected[] = {0x8F, 6,    0,    0,    0xE2, 0x51, 0x50,
                              0x00, 0xEA, 0x51, 0x50, 0x00, 0xE3, 0x51,
                              0x35, 0x00, 0xEB, 0x51, 0x35, 0x00, 0xE0,
                              0x61, 0x00, 0x00, 0xE8, 0x61, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(expected, datagram.bytes, sizeof expected));

  ClearValueDatagram(&datagram);
  ratings.rated_va = 0;
  ratings.rated_w = -1;
  EXPECT_EQ(12, AppendRatingValues(&datagram, ratings));
  EXPECT_EQ(0xE0, datagram.bytes[4]);
  EXPECT_EQ(0xE8, datagram.bytes[8]);
}

}  // namespace
}  // namespace zep
