#include "protocol/ascii_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"
#include "ups_replies.h"

namespace zep {
namespace {

using testing_replies::AlarmPayload;
using testing_replies::Bytes;
using testing_replies::FillNormalUps;
using testing_replies::MeasurementPayload;
using testing_replies::Payload;
using testing_replies::RatingsPayload;

struct AsciiCommandsTest : ::testing::Test {
  AsciiCommandsTest() { FillNormalUps(state); }

  // The answer the command's row builds from the state ("" when the row
  // has no reply builder, "<-1>" when the builder refuses).
  std::string Answer(const char* command) {
    int row = FindCommandRow(command, std::strlen(command));
    EXPECT_GE(row, 0) << command;
    if (row < 0 || AsciiCommandTable[row].reply == nullptr) return "";
    char buffer[128];
    int n = AsciiCommandTable[row].reply(state, confirmation, buffer,
                                         sizeof buffer);
    if (n < 0) return "<-1>";
    return std::string(buffer, static_cast<size_t>(n));
  }

  // The frame the command's row builds (empty when it fails).
  Bytes Request(const char* command) {
    int row = FindCommandRow(command, std::strlen(command));
    EXPECT_GE(row, 0) << command;
    if (row < 0 || AsciiCommandTable[row].request == nullptr) return {};
    char buffer[64] = {};
    std::strcpy(buffer, command);
    int n = AsciiCommandTable[row].request(state, buffer, sizeof buffer);
    if (n <= 0) return {};
    return Bytes(buffer, buffer + n);
  }

  void Alarms(uint8_t bit6, uint8_t bit8, uint8_t bit25, uint8_t bit57,
              uint8_t bit149, uint8_t bit181) {
    ParseAlarmValues(
        state, Payload(AlarmPayload(bit6, bit8, bit25, bit57, bit149, bit181)));
  }

  UpsState state;
  ReplyAssembly confirmation = Payload({'1', 0});
};

TEST_F(AsciiCommandsTest, RowLookUpByPrefixInTableOrder) {
  const struct {
    const char* command;
    int row;
  } cases[] = {
      {"&S1\r", 0},  {"QQ\r", 1},      {"Q1\r", 2},         {"M\r", 7},
      {"&C\r", 15},  {"C\r", 16},      {"&BQ\r", 11},       {"&B1\r", 13},
      {"&DQ\r", 10}, {"&D5\r", 17},    {"&FC\r", 18},       {"&F\r", 19},
      {"&T\r", 27},  {"T\r", 28},      {"&TS1\r", 26},      {"%ZQ\r", 30},
      {"&Z7\r", 29}, {"E5S02X\r", 31}, {"S02R00001\r", 32}, {"&OS\r", 23},
      {"&O\r", 3},   {"%M\r", 6},      {"%N\r", 12},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.row, FindCommandRow(c.command, std::strlen(c.command)))
        << c.command;
  }
  EXPECT_EQ(-1, FindCommandRow("XX\r", 3));
  EXPECT_EQ(-1, FindCommandRow("", 0));
  // The prefix must lie within the received bytes.
  EXPECT_EQ(-1, FindCommandRow("&S1\r", 3));
  EXPECT_EQ(33, kAsciiCommandRows);
  EXPECT_STREQ("", AsciiCommandTable[33].prefix);
}

TEST_F(AsciiCommandsTest, AnswersOfANormalUps) {
  // Alarm summary 00, state 01 (flags 0x07), setting 0 -> "001", "0", "0",
  // 20 * 100 / 200 = 10, 210 * 100 / 200 = 105, "0".
  EXPECT_EQ("000100100101050\r", Answer("&S1\r"));
  // 57: 230.5; peak 230.5; 79: 100.0; load 37; 29: 50.5; 34: 27.25 ->
  // 27 and 272 % 10 = 2; 63: 25.75 -> 25 and 257 % 10 = 7; bit 0x01 only.
  EXPECT_EQ("(230.5 230.5 100.0 037 50.5 27.2 25.7 00000001\r", Answer("Q1\r"));
  // 2305, 1000, FFFFFFFF, 037, 505, 500, 0272, 257, 1240 / 100 + 0.5 =
  // 12.9 -> 012, online bit 0x01.
  EXPECT_EQ("(2305 1000 FFFFFFFF 037 505 500 0272 257 012 00000001\r",
            Answer("QQ\r"));
  EXPECT_EQ("230100037505\r", Answer("&O\r"));
  // t = 257 twice, 0000, 095, 99.
  EXPECT_EQ("257257000009599\r", Answer("&R\r"));
}

TEST_F(AsciiCommandsTest, ModelAnswersCutAndPad) {
  // "ZPX-A1500JC2" has 12 characters; "&M" prints 9. Firmware pair 03 02:
  // HH is the second byte.
  EXPECT_EQ("ZPX-A1500 02.03\r", Answer("&M\r"));
  EXPECT_EQ("%MZPX-A1500JC2    02.03   \r", Answer("%M\r"));
}

TEST_F(AsciiCommandsTest, MeasuredAnswersNeedABinaryUps) {
  state.protocol_mode = 0;
  for (const char* command :
       {"&S1\r", "QQ\r", "Q1\r", "&O\r", "&R\r", "&M\r", "%M\r"}) {
    EXPECT_EQ("<-1>", Answer(command)) << command;
  }
  EXPECT_EQ("00\r", Answer("M\r"));
}

TEST_F(AsciiCommandsTest, OutlandishFloatsAreHeldAtTheIntRange) {
  // Measurement 57 (slot 7) as 1e30f and 79 (slot 9) as NaN: a float
  // beyond int reads 2147483647, NaN reads 0.
  state.measurement_values[7] = 0x7149F2CA;  // 1e30f
  state.measurement_values[9] = 0x7FC00000;  // quiet NaN
  EXPECT_EQ("2147483647000037505\r", Answer("&O\r"));
}

TEST_F(AsciiCommandsTest, FixedAnswers) {
  EXPECT_EQ("NG\r", Answer("&K\r"));
  EXPECT_EQ("00000000\r", Answer("&N\r"));
  EXPECT_EQ("000\r", Answer("&DQ\r"));
  EXPECT_EQ("0000\r", Answer("&BQ\r"));
  EXPECT_EQ("0000\r", Answer("%N\r"));
  EXPECT_EQ("OK\r", Answer("&B1\r"));
  EXPECT_EQ("OK\r", Answer("&D1\r"));
  EXPECT_EQ("FFFFFFFFFFFFFF\r", Answer("&F\r"));
  EXPECT_EQ("000000000000000\r", Answer("&I\r"));
  EXPECT_EQ("NG\r", Answer("&OS1\r"));
  // Rows whose answer is the translator's plain "OK".
  for (const char* command : {"CT\r", "&FC\r", "&KW\r", "&L\r", "&RC\r", "TL\r",
                              "&TS\r", "T\r", "%ZQ\r", "E5C\r", "S01\r"}) {
    EXPECT_EQ("", Answer(command)) << command;
  }
}

TEST_F(AsciiCommandsTest, MainsFailureBits) {
  Alarms(0, 0, 0, 1, 0, 0);                  // alarm bit 57
  ParseFlags(state, Payload({0x00, 0x27}));  // flag 0x20: battery low
  // State byte 0x01 (flags & 7 = 7, 0x10 clear) | 0x04 | 0x40 = 0x45.
  EXPECT_EQ("004500100101050\r", Answer("&S1\r"));
  // Q1: 0x01 | 0x80.
  EXPECT_EQ("(230.5 230.5 100.0 037 50.5 27.2 25.7 10000001\r", Answer("Q1\r"));
  // QQ: online 0x01 | mains 0x80.
  EXPECT_EQ("(2305 1000 FFFFFFFF 037 505 500 0272 257 012 10000001\r",
            Answer("QQ\r"));
}

TEST_F(AsciiCommandsTest, OverloadAndTestBitsOfTheStateByte) {
  Alarms(0, 0, 1, 0, 0, 0);  // alarm bit 25
  EXPECT_EQ("0009", Answer("&S1\r").substr(0, 4));
  Alarms(0, 0, 0, 0, 0, 0);
  ParseTestState(state,
                 Payload({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          0, 0, 0, 0, 0, 0, 0, 0, 0, 4}));  // k = 0: detail 4
  EXPECT_EQ("0021", Answer("&S1\r").substr(0, 4));
}

TEST_F(AsciiCommandsTest, FrequencyWindowOfTheAlarmSummary) {
  // Alarm bit 8 with 50.5 Hz: f = 505 lies within 500 -+ 300 / 10.
  Alarms(0, 1, 0, 0, 0, 0);
  EXPECT_EQ("00", Answer("&S1\r").substr(0, 2));
  // Raw 120: 12000 >> 1 = 6000 hundredths = 60.0 Hz; 600 > 530: 0xC0.
  ParseMeasurements(state, Payload(MeasurementPayload(120)));
  EXPECT_EQ("C0", Answer("&S1\r").substr(0, 2));
  // Bit 6 adds nothing once 0x40 is there.
  Alarms(1, 1, 0, 0, 0, 0);
  EXPECT_EQ("C0", Answer("&S1\r").substr(0, 2));
  // Raw 90: 4500 hundredths = 45.0 Hz; 450 < 470: 0x80.
  ParseMeasurements(state, Payload(MeasurementPayload(90)));
  Alarms(0, 1, 0, 0, 0, 0);
  EXPECT_EQ("80", Answer("&S1\r").substr(0, 2));
  // Bit 6 alone gives 0x40.
  ParseMeasurements(state, Payload(MeasurementPayload(101)));
  Alarms(1, 0, 0, 0, 0, 0);
  EXPECT_EQ("40", Answer("&S1\r").substr(0, 2));
  // A negative frequency accessor (aux_rating -1) means 0x80 at once.
  ParseRatingsAndTexts(state, Payload(RatingsPayload(0xFF, 0xFF)));
  Alarms(0, 1, 0, 0, 0, 0);
  EXPECT_EQ("80", Answer("&S1\r").substr(0, 2));
}

TEST_F(AsciiCommandsTest, SettingCodeOfTheStatusAnswer) {
  const struct {
    int16_t setting;
    const char* code;
  } cases[] = {{0, "001"}, {5, "001"}, {3, "000"}, {4, "004"}, {1, "007"}};
  for (const auto& c : cases) {
    state.mode_setting = c.setting;
    EXPECT_EQ(c.code, Answer("&S1\r").substr(4, 3)) << c.setting;
  }
}

TEST_F(AsciiCommandsTest, FlagGroupAndUnknownAlarmBitsOfTheAnswers) {
  // Bypass: flags 0x12. "&S1" state 0x02; "QQ" 0x04.
  ParseFlags(state, Payload({0x00, 0x12}));
  EXPECT_EQ("0002", Answer("&S1\r").substr(0, 4));
  EXPECT_EQ("00000100\r", Answer("QQ\r").substr(45));
  // Flags without 0x02: "Q1" 0x02; "QQ" 0x08 in place of 0x02.
  ParseFlags(state, Payload({0x00, 0x05}));
  EXPECT_EQ("00000011\r", Answer("Q1\r").substr(38));
  EXPECT_EQ("00001000\r", Answer("QQ\r").substr(45));
  // Group 1 in state 3: "Q1" 0x08, "QQ" 0x10.
  FillNormalUps(state);
  ParseGroups(state, Payload({2, 2, 1, 3}));
  EXPECT_EQ("00001001\r", Answer("Q1\r").substr(38));
  EXPECT_EQ("00010001\r", Answer("QQ\r").substr(45));
  // Without bit 181 among the supported ones (byte 22 cleared), "QQ"
  // counts it as on: 0x02.
  FillNormalUps(state);
  state.alarm_presence[22] = 0;
  EXPECT_EQ("00000011\r", Answer("QQ\r").substr(45));
}

TEST_F(AsciiCommandsTest, TestTransientOverThreeAnswers) {
  auto q1_bits = [this]() { return Answer("Q1\r").substr(38, 8); };
  // 149 still off: nothing.
  EXPECT_EQ("00000001", q1_bits());
  // 149 comes on: the test bit 0x04 for this answer and the next (0x40 is
  // the alarm itself).
  Alarms(0, 0, 0, 0, 1, 0);
  EXPECT_EQ("01000101", q1_bits());
  EXPECT_EQ("01000101", q1_bits());
  EXPECT_EQ("01000001", q1_bits());
  // 149 goes off: again for two answers.
  Alarms(0, 0, 0, 0, 0, 0);
  EXPECT_EQ("00000101", q1_bits());
  EXPECT_EQ("00000101", q1_bits());
  EXPECT_EQ("00000001", q1_bits());
  // A running test shows all the time.
  ParseTestState(state, Payload({5, 0}));
  EXPECT_EQ("00000101", q1_bits());
}

TEST_F(AsciiCommandsTest, ConfirmedTestMarksTheTestRunning) {
  ParseTestState(state, Payload({3, 0}));
  confirmation = Payload({'0', 0});
  EXPECT_EQ("NG\r", Answer("&T\r"));
  EXPECT_EQ(3, state.test_state.load());
  confirmation = Payload({'1', 0});
  EXPECT_EQ("OK\r", Answer("&T\r"));
  EXPECT_EQ(5, state.test_state.load());
  // Values already meaning a test, or unknown, stay.
  ParseTestState(state, Payload({1, 0}));
  Answer("&T\r");
  EXPECT_EQ(1, state.test_state.load());
  ParseTestState(state, Payload({0xFF, 0}));
  Answer("&T\r");
  EXPECT_EQ(-1, state.test_state.load());
}

TEST_F(AsciiCommandsTest, CancelRequest) {
  // No group in state 3: 0x89 with "0" -> 0x97 4, FF, 1, 0.
  // AB+05+97 = 0x147 -> 47; +04 = 4B; +FF = 0x14A -> 4A; +01 = 4B -> B5.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x04, 0xFF, 0x01, 0x00, 0xB5}),
            Request("&C\r"));
  // Group 1 in state 3: 0x93 with "0,0" -> t 0, all groups.
  // AB+03 = AE; +93 = 0x141 -> 41 -> BF.
  ParseGroups(state, Payload({2, 2, 1, 3}));
  EXPECT_EQ((Bytes{0xAB, 0x03, 0x93, 0x00, 0x00, 0xBF}), Request("&C\r"));
}

TEST_F(AsciiCommandsTest, SettingRequests) {
  // Low bits 7 -> 1: AB+04+95 = 0x144 -> 44; +06 = 4A; +01 = 4B -> B5.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x01, 0x00, 0xB5}),
            Request("&Z7\r"));
  EXPECT_EQ(1, state.pending_mode_setting.load());
  // Low bits 2 repeat the current setting, 4: 4A + 04 = 4E -> B2.
  state.mode_setting = 4;
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x04, 0x00, 0xB2}),
            Request("&Z2\r"));
  EXPECT_EQ(4, state.pending_mode_setting.load());
  // Hex 0x18 has low bits 0 -> 3: 4A + 03 = 4D -> B3.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x03, 0x00, 0xB3}),
            Request("&Z18\r"));
  // Low bits 4 -> 4.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x04, 0x00, 0xB2}),
            Request("&ZC\r"));
  // Low bits 1 -> 0, or 5 while the operating state is 128 (code 9):
  // 4A + 00 = 4A -> B6; 4A + 05 = 4F -> B1.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x00, 0x00, 0xB6}),
            Request("&Z1\r"));
  ParseOperatingState(state, Payload({0x80, 0x00}));
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x95, 0x06, 0x05, 0x00, 0xB1}),
            Request("&Z1\r"));
  // Without a number nothing is built, and nothing is pending.
  EXPECT_TRUE(Request("&Z\r").empty());
  EXPECT_EQ(5, state.pending_mode_setting.load());
}

TEST_F(AsciiCommandsTest, SettingIsAdoptedOnlyWhenConfirmed) {
  state.mode_setting = 0;
  Request("&Z4\r");
  confirmation = Payload({'0', 0});
  EXPECT_EQ("NG\r", Answer("&Z4\r"));
  EXPECT_EQ(0, state.mode_setting.load());
  confirmation = Payload({'1'});  // too short to confirm
  EXPECT_EQ("NG\r", Answer("&Z4\r"));
  EXPECT_EQ(0, state.mode_setting.load());
  confirmation = Payload({'1', 0});
  EXPECT_EQ("OK\r", Answer("&Z4\r"));
  EXPECT_EQ(4, state.mode_setting.load());
}

TEST_F(AsciiCommandsTest, ShutdownRequests) {
  // Zero minutes, no restart: 0x8B with "255": 0x97 3, FF, t 1.
  // 47 + 03 = 4A; +FF = 0x149 -> 49; +01 = 4A -> B6.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0xFF, 0x01, 0x00, 0xB6}),
            Request("S00\r"));
  // Two minutes, restart 1: 0x8A with "255,120" (g left out, t 0x78).
  // AB+03 = AE; +8A = 0x138 -> 38; +78 = B0 -> 50.
  EXPECT_EQ((Bytes{0xAB, 0x03, 0x8A, 0x78, 0x00, 0x50}),
            Request("S02R00001\r"));
  // Two minutes, no restart: 120 s >= 60: 0x93 with "255,2".
  // AE + 93 = 0x141 -> 41; +02 = 43 -> BD.
  EXPECT_EQ((Bytes{0xAB, 0x03, 0x93, 0x02, 0x00, 0xBD}), Request("S02\r"));
  // Restart 0: 0x93 with the minutes, the same frame.
  EXPECT_EQ((Bytes{0xAB, 0x03, 0x93, 0x02, 0x00, 0xBD}),
            Request("S02R00000\r"));
  // Restart 99999: 0x8B with "255,120": 4A + FF = 49; +78 = C1 -> 3F.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0xFF, 0x78, 0x00, 0x3F}),
            Request("S02R99999\r"));
  // 30 seconds: 0x8B with "255,180" (30 x 6 = 0xB4).
  // 4A + FF = 49; +B4 = FD -> 03.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0xFF, 0xB4, 0x00, 0x03}),
            Request("S.30\r"));
  // Zero minutes with a restart: t becomes 30 s: 0x8A with "255,30".
  // 38 + 1E = 56 -> AA.
  EXPECT_EQ((Bytes{0xAB, 0x03, 0x8A, 0x1E, 0x00, 0xAA}),
            Request("S00R00001\r"));
  // No number: nothing.
  EXPECT_TRUE(Request("S\r").empty());
  EXPECT_TRUE(Request("SX\r").empty());
}

TEST_F(AsciiCommandsTest, GroupRequests) {
  // Two-digit and one-digit group, "S" with two minutes and no restart:
  // 0x93 with "5,2". AB+04+93 = 0x142 -> 42; +02 = 44; +05 = 49 -> B7.
  Bytes off_after_two{0xAB, 0x04, 0x93, 0x02, 0x00, 0x05, 0xB7};
  EXPECT_EQ(off_after_two, Request("E05S02X\r"));
  EXPECT_EQ(off_after_two, Request("E5S02X\r"));
  EXPECT_EQ(off_after_two, Request("E5F02\r"));
  // "C": 0x89 with "3" -> 0x97 4, 3, 1, 0. 47 + 04 = 4B; +03 = 4E;
  // +01 = 4F -> B1.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x04, 0x03, 0x01, 0x00, 0xB1}),
            Request("E3C\r"));
  // Group 0 means all: "255" -> the all-groups cancel.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x04, 0xFF, 0x01, 0x00, 0xB5}),
            Request("E0C\r"));
  // "O" 10: 0x91 with "2,10". AB+04+91 = 0x140 -> 40; +0A = 4A; +02 = 4C
  // -> B4.
  EXPECT_EQ((Bytes{0xAB, 0x04, 0x91, 0x0A, 0x00, 0x02, 0xB4}),
            Request("E2O00010\r"));
  // "O" 0 and "O" 99999: 0x89 with "2,0". 4B + 02 = 4D -> B3.
  Bytes cancel_two{0xAB, 0x05, 0x97, 0x04, 0x02, 0x00, 0x00, 0xB3};
  EXPECT_EQ(cancel_two, Request("E2O00000\r"));
  EXPECT_EQ(cancel_two, Request("E2O99999\r"));
  // "S" with a restart: 5 minutes = 300 s = 0x012C, 0x8A with "2,300".
  // AB+04+8A = 0x139 -> 39; +2C = 65; +01 = 66; +02 = 68 -> 98.
  Bytes off_and_on_after_five{0xAB, 0x04, 0x8A, 0x2C, 0x01, 0x02, 0x98};
  EXPECT_EQ(off_and_on_after_five, Request("E2S05R00020\r"));
  // The "." form with a restart value also counts minutes.
  EXPECT_EQ(off_and_on_after_five, Request("E2S.5R00020\r"));
  // "F" with seconds: 0 -> "1" alone (t 1); 10 -> "1,60".
  // 47 + 03 = 4A; +01 = 4B; +01 = 4C -> B4. 4B + 3C = 87 -> 79.
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0x01, 0x01, 0x00, 0xB4}),
            Request("E1F.00\r"));
  EXPECT_EQ((Bytes{0xAB, 0x05, 0x97, 0x03, 0x01, 0x3C, 0x00, 0x79}),
            Request("E1F.10\r"));
  // Refused: unknown letter, missing numbers.
  EXPECT_TRUE(Request("E1X\r").empty());
  EXPECT_TRUE(Request("E1F\r").empty());
  EXPECT_TRUE(Request("E1S\r").empty());
  EXPECT_TRUE(Request("EC\r").empty());
  EXPECT_TRUE(Request("E1O\r").empty());
}

}  // namespace
}  // namespace zep
