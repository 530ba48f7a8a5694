#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"
#include "ups_replies.h"

namespace zep {
namespace {

using testing_replies::Bytes;
using testing_replies::Payload;

void Append(Bytes& bytes, const std::string& text) {
  for (char c : text) bytes.push_back(static_cast<uint8_t>(c));
}

// An identification payload: two version pairs, a u16 rating of 30 x 50 VA,
// a 13-byte model text with a trailing blank, three type codes and two
// presence bytes.
Bytes Identification() {
  Bytes p = {2,    0x01, 0x00, 0x03, 0x02,  // k = 2; pair 0; pair 1
             0x00, 0x1E, 0x00,              // r = 5: rating 0, u16 30
             0x00, 0x00,                    // r+3, r+4: not used
             13};                           // r+5: model length
  Append(p, "ZPX-A1500JC2 ");
  p.insert(p.end(), {3, 0xE0, 0x10, 0xF2});  // type codes
  p.insert(p.end(), {2, 0x41, 0x01});        // presence bytes
  return p;
}

struct BinaryParsersTest : ::testing::Test {
  UpsState state;
};

TEST_F(BinaryParsersTest, IdentificationFillsItsFields) {
  EXPECT_EQ(1, ParseIdentification(state, Payload(Identification())));
  EXPECT_EQ(0x03, state.firmware_version[0].load());
  EXPECT_EQ(0x02, state.firmware_version[1].load());
  EXPECT_EQ(1500, state.rated_va.load());  // 30 x 50
  EXPECT_EQ("ZPX-A1500JC2", ModelNameOf(state));
  EXPECT_EQ(0xE0, state.measurement_types[0].load());
  EXPECT_EQ(0x10, state.measurement_types[1].load());
  EXPECT_EQ(0xF2, state.measurement_types[2].load());
  EXPECT_EQ(0, state.measurement_types[3].load());
  EXPECT_EQ(0x41, state.alarm_presence[0].load());
  EXPECT_EQ(0x01, state.alarm_presence[1].load());
  EXPECT_EQ(0, state.alarm_presence[2].load());
  // Bits 0, 6 and 8 are supported now.
  EXPECT_EQ(0, AlarmBit(state, 0));
  EXPECT_EQ(0, AlarmBit(state, 8));
  EXPECT_EQ(255, AlarmBit(state, 1));
}

TEST_F(BinaryParsersTest, IdentificationRatingByteAndSkippedVersionPair) {
  // A version pair starting with FF is skipped: the version stays unknown.
  Bytes p = Identification();
  p[3] = 0xFF;
  ParseIdentification(state, Payload(p));
  EXPECT_EQ(0xFF, state.firmware_version[0].load());
  EXPECT_EQ(0xFF, state.firmware_version[1].load());
  EXPECT_EQ(1500, state.rated_va.load());
  // A nonzero rating byte counts thousands.
  p = Identification();
  p[5] = 2;
  ParseIdentification(state, Payload(p));
  EXPECT_EQ(2000, state.rated_va.load());
}

TEST_F(BinaryParsersTest, IdentificationCutsLongBlocks) {
  // A 40-character model keeps 32; 105 type codes keep 100; the presence
  // block still follows all 105.
  Bytes p = {0, 1, 0, 0, 0, 0, 40};  // k = 0: r = 1, model length at 6
  Append(p, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd");
  p.push_back(105);
  for (int i = 0; i < 105; ++i) p.push_back(static_cast<uint8_t>(0xE0 + i % 2));
  p.push_back(1);
  p.push_back(0x55);
  ParseIdentification(state, Payload(p));
  EXPECT_EQ("0123456789ABCDEFGHIJKLMNOPQRSTUV", ModelNameOf(state));
  EXPECT_EQ(0xE0, state.measurement_types[0].load());
  EXPECT_EQ(0xE1, state.measurement_types[99].load());
  EXPECT_EQ(0x55, state.alarm_presence[0].load());
}

TEST_F(BinaryParsersTest, IdentificationStopsAtThePayloadEnd) {
  state.measurement_types[0] = 0x33;
  // Ends inside the model text: the text so far is kept, nothing after.
  Bytes p = {0, 1, 0, 0, 0, 0, 10};
  Append(p, "ZPX-A");
  EXPECT_EQ(1, ParseIdentification(state, Payload(p)));
  EXPECT_EQ(1000, state.rated_va.load());
  EXPECT_EQ("ZPX-A", ModelNameOf(state));
  EXPECT_EQ(0x33, state.measurement_types[0].load());
  // An empty payload is ignored.
  EXPECT_EQ(0, ParseIdentification(state, Payload({})));
}

TEST_F(BinaryParsersTest, RatingsAndTexts) {
  Bytes p(80, 0);
  p[8] = 0x64;   // 100 V
  p[10] = 0xFF;  // aux_rating -1
  p[11] = 0xFF;
  p[16] = 0x03;  // type_flag: bit 0
  std::memcpy(&p[48], "SN-0042\t \x01", 10);
  std::memcpy(&p[64], "1500VA/1200W    ", 16);
  EXPECT_EQ(1, ParseRatingsAndTexts(state, Payload(p)));
  EXPECT_EQ(100, state.rated_voltage.load());
  EXPECT_EQ(-1, state.aux_rating.load());
  EXPECT_EQ(1, state.type_flag.load());
  EXPECT_EQ("SN-0042", IdTextAOf(state));
  EXPECT_EQ("1500VA/1200W", IdTextBOf(state));
}

TEST_F(BinaryParsersTest, RatingsAndTextsOnShortPayloads) {
  Bytes p(60, 0);
  p[8] = 0xE6;  // 230 V
  std::memcpy(&p[48], "ABCDEFGHIJKL", 12);
  StoreText(state.id_text_b, "OLD", 3);
  ParseRatingsAndTexts(state, Payload(p));
  EXPECT_EQ(230, state.rated_voltage.load());
  EXPECT_EQ("ABCDEFGHIJKL", IdTextAOf(state));
  EXPECT_EQ("OLD", IdTextBOf(state));  // the payload is not over 64 bytes
  // 48 bytes exactly: no text.
  StoreText(state.id_text_a, "KEEP", 4);
  ParseRatingsAndTexts(state, Payload(Bytes(48, 0)));
  EXPECT_EQ("KEEP", IdTextAOf(state));
  // One byte: ignored.
  EXPECT_EQ(0, ParseRatingsAndTexts(state, Payload({7})));
  // Trimming never takes the first character.
  p.assign(80, 0);
  p[48] = ' ';
  ParseRatingsAndTexts(state, Payload(p));
  EXPECT_EQ(" ", IdTextAOf(state));
}

TEST_F(BinaryParsersTest, OperatingStateFlagsAndTest) {
  EXPECT_EQ(1, ParseOperatingState(state, Payload({0x80, 0x00})));
  EXPECT_EQ(128, state.operating_state.load());
  EXPECT_EQ(9, OperatingStateCode(state));
  EXPECT_EQ(0, ParseOperatingState(state, Payload({0x10})));
  EXPECT_EQ(128, state.operating_state.load());

  EXPECT_EQ(1, ParseFlags(state, Payload({0x00, 0x27})));
  EXPECT_EQ(0x27, state.ups_flags.load());
  EXPECT_EQ(0, ParseFlags(state, Payload({0x05})));
  EXPECT_EQ(0x27, state.ups_flags.load());
}

TEST_F(BinaryParsersTest, TestStateAndDetail) {
  Bytes p(22, 0);
  p[0] = 1;
  p[18] = 1;  // k = 1: detail at 21
  p[21] = 4;
  ParseTestState(state, Payload(p));
  EXPECT_EQ(1, state.test_state.load());
  EXPECT_EQ(4, state.test_detail.load());
  // k = 5 points at byte 25, outside the payload: detail kept.
  p[0] = 0;
  p[18] = 5;
  p[21] = 0;
  ParseTestState(state, Payload(p));
  EXPECT_EQ(0, state.test_state.load());
  EXPECT_EQ(4, state.test_detail.load());
  // Fewer than 19 bytes: the state only.
  Bytes short_payload(18, 0);
  short_payload[0] = 5;
  ParseTestState(state, Payload(short_payload));
  EXPECT_EQ(5, state.test_state.load());
  EXPECT_EQ(4, state.test_detail.load());
  EXPECT_EQ(0, ParseTestState(state, Payload({1})));
}

TEST_F(BinaryParsersTest, GroupEntries) {
  // Three entries of stride 2: {1, 3}, {12, 3} (index >= 10 ignored),
  // {2, 0}.
  EXPECT_EQ(1, ParseGroups(state, Payload({3, 2, 1, 3, 12, 3, 2, 0})));
  EXPECT_EQ(3, state.group_count.load());
  EXPECT_EQ(3, state.group_states[1].load());
  EXPECT_EQ(0, state.group_states[2].load());
  EXPECT_EQ(0xFF, state.group_states[0].load());
  // Stride 3 with a padding byte; count 10..127 reads as 9; entries stop
  // at the payload's end.
  EXPECT_EQ(1, ParseGroups(state, Payload({10, 3, 4, 3, 0, 5, 1, 0, 6})));
  EXPECT_EQ(9, state.group_count.load());
  EXPECT_EQ(3, state.group_states[4].load());
  EXPECT_EQ(1, state.group_states[5].load());
  EXPECT_EQ(0xFF, state.group_states[6].load());
  // A negative count means no groups and reads no entries.
  EXPECT_EQ(1, ParseGroups(state, Payload({0x80, 2, 1, 0})));
  EXPECT_EQ(-128, state.group_count.load());
  EXPECT_EQ(3, state.group_states[1].load());
}

TEST_F(BinaryParsersTest, AlarmValuesAreCutAt240) {
  Bytes p(300, 1);
  EXPECT_EQ(1, ParseAlarmValues(state, Payload(p)));
  EXPECT_EQ(1, state.alarm_values[239].load());
  ParseAlarmValues(state, Payload({0, 0, 5}));
  EXPECT_EQ(0, state.alarm_values[0].load());
  EXPECT_EQ(5, state.alarm_values[2].load());
  EXPECT_EQ(1, state.alarm_values[3].load());
}

TEST_F(BinaryParsersTest, MeasurementsByEveryKindOfCode) {
  state.measurement_types[0] = 0x10;  // float
  state.measurement_types[1] = 0xE0;  // integer
  state.measurement_types[2] = 0xE2;  // integer, as 0xF0
  state.measurement_types[3] = 0xF2;  // two fraction bits
  Bytes p = {
      0x00, 0x80, 0x66, 0x43,  // 230.5f = 0x43668000
      0xDC, 0x05, 0x00, 0x00,  // 1500
      0xD2, 0x04, 0x00, 0x00,  // 1234
      0x67, 0x00, 0x00, 0x00,  // 103: 10300 >> 2 = 2575 -> 25.75
  };
  EXPECT_EQ(1, ParseMeasurements(state, Payload(p)));
  EXPECT_FLOAT_EQ(230.5f, Measurement(state, 1));
  EXPECT_FLOAT_EQ(1500.0f, Measurement(state, 2));
  EXPECT_FLOAT_EQ(1234.0f, Measurement(state, 3));
  EXPECT_FLOAT_EQ(25.75f, Measurement(state, 4));
  // The derived values followed: no measurement 48, 22 or 24, so load 0;
  // measurement 100 is present now.
  EXPECT_EQ(0, state.load_percent.load());
  EXPECT_EQ(0xF0, state.measurement_types[99].load());
  // At most 400 bytes are kept.
  ParseMeasurements(state, Payload(Bytes(420, 0x11)));
  EXPECT_EQ(0x11111111u, state.measurement_values[98].load());
}

// A limits payload of 33 bytes: base 200, 50 Hz, 24 x 50 W, tolerance 300
// (3 Hz), setting 0, limits 20 and 210, no tagged entries.
Bytes Limits(uint16_t base, uint16_t tolerance, uint16_t low, uint16_t high,
             uint8_t setting) {
  Bytes p(33, 0);
  p[0] = base & 0xFF;
  p[1] = base >> 8;
  p[2] = 50;
  p[4] = 24;
  p[8] = tolerance & 0xFF;
  p[9] = tolerance >> 8;
  p[17] = setting;
  p[18] = low & 0xFF;
  p[19] = low >> 8;
  p[20] = high & 0xFF;
  p[21] = high >> 8;
  return p;
}

TEST_F(BinaryParsersTest, LimitsFillTheirFields) {
  EXPECT_EQ(1, ParseLimits(state, Payload(Limits(200, 300, 20, 210, 4))));
  EXPECT_EQ(200, state.percent_base.load());
  EXPECT_EQ(50, state.nominal_frequency.load());
  EXPECT_EQ(1200, state.rated_watts.load());
  EXPECT_EQ(300, state.frequency_tolerance.load());
  EXPECT_EQ(4, state.mode_setting.load());
  EXPECT_EQ(20, state.limit_low.load());
  EXPECT_EQ(210, state.limit_high.load());
  // A reported setting of 2 is not taken.
  ParseLimits(state, Payload(Limits(200, 300, 20, 210, 2)));
  EXPECT_EQ(4, state.mode_setting.load());
  // Ending after the frequency tolerance: what was read is kept.
  Bytes p = Limits(150, 200, 30, 120, 3);
  p.resize(12);
  ParseLimits(state, Payload(p));
  EXPECT_EQ(150, state.percent_base.load());
  EXPECT_EQ(200, state.frequency_tolerance.load());
  EXPECT_EQ(4, state.mode_setting.load());
  EXPECT_EQ(20, state.limit_low.load());
  EXPECT_EQ(0, ParseLimits(state, Payload({1})));
}

TEST_F(BinaryParsersTest, ChangedLimitsBringTheRatingReRead) {
  ResetUpsState(state);
  // Through the identification run up to the limits request (index 17).
  for (int i = 0; i < 4; ++i) {
    CurrentPollId(state);
    AdvancePoll(state);
  }
  EXPECT_EQ(0x3C, CurrentPollId(state));
  // The first report after a reset is no change.
  ParseLimits(state, Payload(Limits(200, 300, 20, 210, 0)));
  AdvancePoll(state);
  EXPECT_EQ(0x41, CurrentPollId(state));
  // The same values again: no change either.
  ParseLimits(state, Payload(Limits(200, 300, 20, 210, 0)));
  AdvancePoll(state);
  EXPECT_EQ(0x34, CurrentPollId(state));
  // A new upper limit: the next poll re-reads the ratings, then polling
  // returns to the start of the status cycle.
  ParseLimits(state, Payload(Limits(200, 300, 20, 220, 0)));
  AdvancePoll(state);
  EXPECT_EQ(0x36, CurrentPollId(state));
  AdvancePoll(state);
  EXPECT_EQ(0x33, CurrentPollId(state));
  // A change in a payload of 32 bytes or less is not acted on.
  Bytes short_payload = Limits(100, 300, 20, 220, 0);
  short_payload.resize(32);
  ParseLimits(state, Payload(short_payload));
  AdvancePoll(state);
  EXPECT_EQ(0x35, CurrentPollId(state));
}

TEST_F(BinaryParsersTest, ConfirmationNeedsTwoBytesAndADigit) {
  EXPECT_EQ(1, ParseConfirmation(state, Payload({'1', 0})));
  EXPECT_EQ(1, ParseConfirmation(state, Payload({'7', 0})));
  EXPECT_EQ(0, ParseConfirmation(state, Payload({'0', 0})));
  EXPECT_EQ(0, ParseConfirmation(state, Payload({'8', 0})));
  EXPECT_EQ(0, ParseConfirmation(state, Payload({'1'})));
  EXPECT_TRUE(ReplyConfirms(Payload({'1', 0})));
  EXPECT_FALSE(ReplyConfirms(Payload({'2', 0})));
  EXPECT_FALSE(ReplyConfirms(Payload({'1'})));
}

}  // namespace
}  // namespace zep
