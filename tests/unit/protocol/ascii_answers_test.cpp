#include "protocol/ascii_answers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace zep {
namespace {

using Values = std::vector<std::pair<int, double>>;

void ExpectValues(const Values& expected, const AnswerValues& actual) {
  ASSERT_EQ(static_cast<int>(expected.size()), actual.count);
  for (int i = 0; i < actual.count; ++i) {
    EXPECT_EQ(expected[i].first, actual.values[i].tag) << i;
    EXPECT_DOUBLE_EQ(expected[i].second, actual.values[i].value) << i;
  }
}

// "&S1": alarm summary and state as two hex digits each, the setting as
// three, then "0", "0", "20", "110", "0" and CR: 16 bytes.
TEST(StatusAnswerTest, ReadsBothBytesOrNothing) {
  StatusRingEntry e;
  e.status_bits = 0x10;
  EXPECT_EQ(1, ReadStatusAnswer("0a0600700201100\r", 16, 0x01, &e));
  EXPECT_EQ(0x0B, e.alarm_summary);  // 0x0A with 0x01 added
  EXPECT_EQ(0x06, e.state);
  EXPECT_EQ(0x10, e.status_bits);
  // State 0x04 lacks 0x02: state 0x06, status bits 0x10 | 0x06, alarm 0.
  EXPECT_EQ(1, ReadStatusAnswer("800400700201100\r", 16, 0x00, &e));
  EXPECT_EQ(0x00, e.alarm_summary);
  EXPECT_EQ(0x06, e.state);
  EXPECT_EQ(0x16, e.status_bits);
  EXPECT_EQ(0, ReadStatusAnswer("13060070020110\r", 15, 0, &e));
  EXPECT_EQ(0, ReadStatusAnswer("1306007002011000\r", 17, 0, &e));
  EXPECT_EQ(0, ReadStatusAnswer("1G0600700201100\r", 16, 0, &e));
  EXPECT_EQ(0x06, e.state);
  EXPECT_EQ(0x01, AlarmSummaryExtraBits(0, true, 51.5f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(0, true, 51.4f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(0, false, 60.0f));
  EXPECT_EQ(0x00, AlarmSummaryExtraBits(1, true, 60.0f));
}

// "QQ": "(", fields 2300 2295 FFFFFFFF 045 500 136 0270 315 012, the
// eight status characters and CR: 54 bytes.
const char kQq[] = "(2300 2295 FFFFFFFF 045 500 136 0270 315 012 00110001\r";

TEST(QqAnswerTest, ReadsValuesAndStatusBits) {
  AnswerValues values;
  uint8_t bits = 0;
  EXPECT_EQ(1, ReadQqAnswer(kQq, 54, 1, &values, &bits));
  ExpectValues({{192, 230.0},
                {160, 229.5},
                {172, 45.0},
                {208, 50.0},
                {176, 13.6},
                {64, 27.0},
                {88, 31.5},
                {169, 1.2}},
               values);
  EXPECT_EQ(0x31, bits);  // "00110001"
  EXPECT_EQ(1, ReadQqAnswer(kQq, 54, 0, &values, &bits));
  EXPECT_EQ(201, values.values[7].tag);  // ASCII UPS
  ValueDatagram datagram;
  EXPECT_EQ(4 + 4 * 8, AppendAnswerValues(&datagram, values));

  // An absent measurement printed as -1 ("-01") gives no value. Status
  // characters count by their low 4 bits: "1", "A" 0x41, ":" 0x3A are 1;
  // "@" 0x40, " ", "P" 0x50 and "0" are 0.
  const char absent[] =
      "(2300 2295 FFFFFFFF 045 500 -01 0270 315 012 0@ P1A0:\r";
  EXPECT_EQ(1, ReadQqAnswer(absent, 54, 1, &values, &bits));
  EXPECT_EQ(7, values.count);
  EXPECT_EQ(64, values.values[4].tag);
  EXPECT_EQ(0x0D, bits);
}

TEST(QqAnswerTest, WrongShapeIsNotUsed) {
  AnswerValues values;
  uint8_t bits = 0x77;
  std::string shifted = std::string(" ") + kQq;
  EXPECT_EQ(0, ReadQqAnswer(kQq, 53, 1, &values, &bits));
  EXPECT_EQ(0, ReadQqAnswer(shifted.c_str(), 55, 1, &values, &bits));
  EXPECT_EQ(0, ReadQqAnswer(shifted.c_str(), 54, 1, &values, &bits));
  EXPECT_EQ(0, values.count);
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

// "Q1": "(", 230.0 232.0 229.5 045 50.0 13.6 31.5, status, CR: 47 bytes.
const char kQ1[] = "(230.0 232.0 229.5 045 50.0 13.6 31.5 00001001\r";

TEST(Q1AnswerTest, ReadsValues) {
  AnswerValues values;
  const Values ascii = {{192, 230.0}, {160, 229.5}, {172, 45.0},
                        {208, 50.0},  {64, 13.6},   {88, 31.5}};
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 0, 1234.0f, 27.5f, &values));
  ExpectValues(ascii, values);
  // Binary UPS: 1234 / 100 + 0.5 = 12.84 -> 12 -> 1.2 as 169; 27.5 as 176.
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 1, 1234.0f, 27.5f, &values));
  Values binary = ascii;
  binary.push_back({169, 1.2});
  binary.push_back({176, 27.5});
  ExpectValues(binary, values);
  // 1250 / 100 + 0.5 = 13.0 -> 1.3; an absent measurement 28 is left out.
  EXPECT_EQ(1, ReadQ1Answer(kQ1, 47, 1, 1250.0f, -1.0f, &values));
  EXPECT_EQ(7, values.count);
  EXPECT_DOUBLE_EQ(1.3, values.values[6].value);
  EXPECT_EQ(0, ReadQ1Answer(kQ1, 46, 1, 0, 0, &values));
  EXPECT_EQ(0, ReadQ1Answer(kQq, 54, 1, 0, 0, &values));
  EXPECT_EQ(7, values.count);
}

TEST(IdentityAnswerTest, ModelAndVersionAnswers) {
  IdentityTexts texts;
  // "&M": "%-9s %s.%s\r" = 9 + 1 + 5 + 1.
  EXPECT_EQ(1, ReadModelAnswer("ZPX-A1500 01.02\r", 16, 1, &texts));
  EXPECT_STREQ("ZPX-A1500", texts.model_text);
  EXPECT_EQ(1, ReadModelAnswer("T-PWR10   01.23\r", 16, 0, &texts));
  EXPECT_STREQ("T-PWR10", texts.model_text);
  EXPECT_EQ(0, ReadModelAnswer("T-PWR15J1 1.2\r", 14, 0, &texts));
  EXPECT_STREQ("T-PWR10", texts.model_text);

  // "%M" + 15-character model + " " + "01.02" + "   " + CR = 27.
  const char binary[] = "%MZPX-A1500JC     01.02   \r";
  EXPECT_EQ(1,
            ReadVersionAnswer(binary, 27, 1, "ABCDEFGHIJKLMNOPQRSTU", &texts));
  EXPECT_STREQ("ZPX-A1500JC", texts.model_text);
  EXPECT_STREQ("01.02", texts.version_text);
  EXPECT_STREQ("ABCDEFGHIJKLMNOPQRS", texts.rating_text);  // 19 characters
  EXPECT_STREQ("", texts.rating_record);

  // "%M" + "T-PWR15J1" and 6 spaces + " " + "012" + "ABCDE" + CR = 27.
  const char ascii[] = "%MT-PWR15J1       012ABCDE\r";
  EXPECT_EQ(1, ReadVersionAnswer(ascii, 27, 0, "ignored", &texts));
  EXPECT_STREQ("T-PWR15J1", texts.model_text);
  EXPECT_STREQ("012", texts.version_text);
  EXPECT_STREQ("ABCDE", texts.rating_record);
  EXPECT_STREQ("ABCDEFGHIJKLMNOPQRS", texts.rating_text);
  EXPECT_EQ(0, ReadVersionAnswer(ascii, 26, 0, "", &texts));
}

TEST(RatingsTest, AsciiRatingsFromTheModelText) {
  const struct {
    const char* model;
    int va, w, v;
  } cases[] = {
      {"T-PWR15J1", 1500, 1500, 100},   // "J", then "1": code 1, no rest
      {"T-PWR30A1S", 3000, 3000, 200},  // "A", two on "S": code 2
      {"T-PWR20L", 2000, 1600, 100},    // code 1, rest "L": 2000 x 0.8
      {"T-PWR7L", 700, 490, 100},       // 700 x 0.7
      {"T-PWR10J14", 1000, 700, 120},   // rest "4": 100 + 5 x 4; x 0.7
      // Code 2, rest "3": 200 + 30; (500 x 0.64 / 10 + 0.5 -> 32) x 10.
      {"T-PWR5A1S3", 500, 320, 230},
      {"T-PWR12A1S1", 1200, 960, 208},  // k = 1 adds 8; 1200 x 0.8
      {"T-PWR9A1S0", 900, 580, 200},    // 57.6 + 0.5 -> 58 -> 580
      {"T-PWR15R12", 1500, 1500, 200},  // "R", two on "2"
      {"T-PWR15J3X", 1500, 1500, 300},  // code 3: no adjustment
      {"T-P", 0, 0, 100},
  };
  for (const auto& c : cases) {
    Ratings ratings = AsciiRatings(c.model);
    EXPECT_EQ(c.va, ratings.rated_va) << c.model;
    EXPECT_EQ(c.w, ratings.rated_w) << c.model;
    EXPECT_EQ(c.v, ratings.rated_v) << c.model;
  }
}

TEST(RatingsTest, BinaryRatingsAndTheirDatagram) {
  Ratings ratings;
  ratings.rated_v = 230;
  BinaryRatings(-1, -1, -1, &ratings);  // V kept while unknown
  EXPECT_EQ(230, ratings.rated_v);
  // (100 << 16) | 100: rated voltage 100 V, percent base 100.
  BinaryRatings(1500, 1350, (100 << 16) | 100, &ratings);
  EXPECT_EQ(1500, ratings.rated_va);
  EXPECT_EQ(1350, ratings.rated_w);
  EXPECT_EQ(100, ratings.rated_v);

  // 1500: scale 5, 15000; 1350: scale 5, 13500; 100: scale 6, 10000;
  // tags 226 0xE2, 234 0xEA, 227 0xE3, 235 0xEB, 224 0xE0, 232 0xE8.
  ValueDatagram d;
  EXPECT_EQ(28, AppendRatingValues(&d, ratings));
  const uint8_t expected[] = {0xE2, 0x51, 0x50, 0x00, 0xEA, 0x51, 0x50, 0x00,
                              0xE3, 0x51, 0x35, 0x00, 0xEB, 0x51, 0x35, 0x00,
                              0xE0, 0x61, 0x00, 0x00, 0xE8, 0x61, 0x00, 0x00};
  EXPECT_EQ(0, std::memcmp(expected, d.bytes + 4, sizeof expected));
  ClearValueDatagram(&d);
  ratings.rated_w = -1;  // ratings of 0 or below are left out
  EXPECT_EQ(20, AppendRatingValues(&d, ratings));
}

}  // namespace
}  // namespace zep
