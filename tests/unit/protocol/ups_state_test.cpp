#include "protocol/ups_state.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Little-endian word of an IEEE single, as the UPS sends it.
uint32_t FloatWord(float value) {
  uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

TEST(UpsStateTest, NothingIsKnownBeforeAnyReply) {
  UpsState state;
  EXPECT_EQ(-1, state.protocol_mode.load());
  EXPECT_EQ(-1, state.poll_index.load());
  EXPECT_EQ(-1, state.pending_command_row.load());
  EXPECT_EQ(-1, RatedVaOf(state));
  EXPECT_EQ(-1, RatedWattsOf(state));
  EXPECT_EQ(-1, RatedVoltageOf(state));
  EXPECT_EQ(-1, FrequencyOf(state));
  EXPECT_EQ(-1, FirmwareVersionOf(state));
  EXPECT_EQ(-1, LoadLimitsOf(state));
  for (int n = -1; n < 300; ++n) EXPECT_EQ(255, AlarmBit(state, n)) << n;
  for (int n = -1; n <= 101; ++n) EXPECT_EQ(-1.0f, Measurement(state, n)) << n;
  EXPECT_EQ(0.0f, MaxInputVoltageOf(state));
  EXPECT_EQ("", ModelNameOf(state));
  EXPECT_EQ(0, CountGroupsInState3(state));
  EXPECT_EQ(0, SelectedGroupOf(state));
  EXPECT_EQ(-1, state.test_alarm_memory.load());
  EXPECT_EQ(0, state.test_alarm_hold.load());
}

TEST(UpsStateTest, AccessorsStayUnknownWhileTheUpsSpeaksAscii) {
  UpsState state;
  state.protocol_mode = 0;
  state.rated_va = 1500;
  state.rated_watts = 1200;
  EXPECT_EQ(-1, RatedVaOf(state));
  EXPECT_EQ(-1, RatedWattsOf(state));
  state.protocol_mode = 1;
  EXPECT_EQ(1500, RatedVaOf(state));
  EXPECT_EQ(1200, RatedWattsOf(state));
}

TEST(UpsStateTest, ResetSparesTextsPendingValuesAndTestMemory) {
  UpsState state;
  state.protocol_mode = 1;
  state.poll_index = 5;
  state.pending_command_row = 27;
  state.pending_mode_setting = 4;
  StoreText(state.model_name, "ZPX-A1500JC", 11);
  StoreText(state.id_text_a, "SERIAL123", 9);
  state.test_alarm_memory = 1;
  state.test_alarm_hold = 2;
  state.selected_group = 3;
  state.measurement_types[56] = 0x10;
  state.measurement_values[0] = FloatWord(230.5f);
  state.alarm_presence[0] = 0x01;
  state.alarm_values[0] = 1;
  state.percent_base = 200;
  state.max_input_voltage = 240.0f;
  state.group_states[2] = 3;
  state.operating_state = 128;

  ResetUpsState(state);

  EXPECT_EQ(-1, state.protocol_mode.load());
  EXPECT_EQ(-1, state.poll_index.load());
  EXPECT_EQ(27, state.pending_command_row.load());
  EXPECT_EQ(4, state.pending_mode_setting.load());
  EXPECT_EQ("ZPX-A1500JC", ModelNameOf(state));
  EXPECT_EQ("SERIAL123", IdTextAOf(state));
  EXPECT_EQ(1, state.test_alarm_memory.load());
  EXPECT_EQ(2, state.test_alarm_hold.load());
  EXPECT_EQ(3, state.selected_group.load());
  EXPECT_EQ(0, state.measurement_types[56].load());
  EXPECT_EQ(0u, state.measurement_values[0].load());
  EXPECT_EQ(0, state.alarm_presence[0].load());
  EXPECT_EQ(0, state.alarm_values[0].load());
  EXPECT_EQ(-1, state.percent_base.load());
  EXPECT_EQ(0.0f, state.max_input_voltage.load());
  EXPECT_EQ(0xFF, state.group_states[2].load());
  EXPECT_EQ(0xFFFF, state.operating_state.load());
  EXPECT_EQ(0xFF, state.firmware_version[0].load());
}

TEST(UpsStateTest, NgReplyDecidesAsciiOnlyWhileProbing) {
  UpsState state;
  EXPECT_EQ(-1, ProtocolModeOf(state));
  EXPECT_EQ(-1, ProtocolModeOf(state, "OK\r"));
  EXPECT_EQ(-1, ProtocolModeOf(state, "N"));
  EXPECT_EQ(0, ProtocolModeOf(state, "NG\r"));
  state.protocol_mode = 1;
  EXPECT_EQ(1, ProtocolModeOf(state, "NG\r"));
}

TEST(UpsStateTest, AlarmBitCountsSupportedBitsBelowIt) {
  UpsState state;
  // Supported: 3 (byte 0 bit 3), 9 (byte 1 bit 1), 200 (byte 25 bit 0) and
  // 239 (byte 29 bit 7); their values are packed in that order.
  state.alarm_presence[0] = 0x08;
  state.alarm_presence[1] = 0x02;
  state.alarm_presence[25] = 0x01;
  state.alarm_presence[29] = 0x80;
  state.alarm_values[0] = 0;
  state.alarm_values[1] = 7;  // any nonzero value is on
  state.alarm_values[2] = 1;
  state.alarm_values[3] = 0;
  EXPECT_EQ(0, AlarmBit(state, 3));
  EXPECT_EQ(1, AlarmBit(state, 9));
  EXPECT_EQ(1, AlarmBit(state, 200));
  EXPECT_EQ(0, AlarmBit(state, 239));
  EXPECT_EQ(255, AlarmBit(state, 4));
  EXPECT_EQ(255, AlarmBit(state, 240));
  EXPECT_EQ(255, AlarmBit(state, 1000));
}

TEST(UpsStateTest, MeasurementsDecodeByTypeCode) {
  UpsState state;
  // Present: 1 float, 2 integer (0xE5), 3 0xE2, 4 0xF2, 5 0xF3, 6 0xF0,
  // 7 float; slots 0..6 in that order.
  const uint8_t types[] = {0x10, 0xE5, 0xE2, 0xF2, 0xF3, 0xF0, 0x7F};
  for (int i = 0; i < 7; ++i) state.measurement_types[i] = types[i];
  state.measurement_values[0] = FloatWord(230.5f);
  state.measurement_values[1] = 1500;
  state.measurement_values[2] = 1234;
  // 103 with two fraction bits: 10300 >> 2 = 2575 hundredths.
  state.measurement_values[3] = 103;
  // 5 with three fraction bits: 500 >> 3 = 62 hundredths (0.625 cut).
  state.measurement_values[4] = 5;
  // 50,000,000 hundredths would wrap 32 bits; the value is 50,000,000.
  state.measurement_values[5] = 50000000;
  state.measurement_values[6] = FloatWord(-2.5f);
  EXPECT_FLOAT_EQ(230.5f, Measurement(state, 1));
  EXPECT_FLOAT_EQ(1500.0f, Measurement(state, 2));
  EXPECT_FLOAT_EQ(1234.0f, Measurement(state, 3));
  EXPECT_FLOAT_EQ(25.75f, Measurement(state, 4));
  EXPECT_FLOAT_EQ(0.62f, Measurement(state, 5));
  EXPECT_FLOAT_EQ(50000000.0f, Measurement(state, 6));
  EXPECT_FLOAT_EQ(-2.5f, Measurement(state, 7));
  EXPECT_EQ(-1.0f, Measurement(state, 8));
}

TEST(UpsStateTest, MeasurementSlotSkipsAbsentNumbers) {
  UpsState state;
  state.measurement_types[9] = 0xE0;   // measurement 10, slot 0
  state.measurement_types[56] = 0xE0;  // measurement 57, slot 1
  state.measurement_values[0] = 11;
  state.measurement_values[1] = 230;
  EXPECT_FLOAT_EQ(11.0f, Measurement(state, 10));
  EXPECT_FLOAT_EQ(230.0f, Measurement(state, 57));
  EXPECT_EQ(-1.0f, Measurement(state, 56));
}

TEST(UpsStateTest, PackedAccessorsInBinaryMode) {
  UpsState state;
  state.protocol_mode = 1;
  state.rated_voltage = 100;
  state.percent_base = 200;
  // (100 << 16) | 200 = 0x006400C8.
  EXPECT_EQ(0x006400C8, RatedVoltageOf(state));
  state.aux_rating = 0;
  state.nominal_frequency = 50;
  EXPECT_EQ(50, FrequencyOf(state));
  state.aux_rating = -1;
  EXPECT_LT(FrequencyOf(state), 0);
  state.firmware_version[0] = 0x03;
  state.firmware_version[1] = 0x02;
  EXPECT_EQ(0x00020003, FirmwareVersionOf(state));
  // 210 * 100 / 200 = 105 high, 20 * 100 / 200 = 10 low.
  state.limit_low = 20;
  state.limit_high = 210;
  EXPECT_EQ(0x0069000A, LoadLimitsOf(state));
  // Integer division: 33 * 100 / 200 = 16 (16.5 cut).
  state.limit_low = 33;
  EXPECT_EQ(0x00690010, LoadLimitsOf(state));
  state.percent_base = 0;
  EXPECT_EQ(0, LoadLimitsOf(state));
}

TEST(UpsStateTest, OperatingStateCodeTable) {
  UpsState state;
  const struct {
    uint16_t operating_state;
    int code;
  } rows[] = {{16, 7}, {32, 0}, {33, 0},  {34, 0},
              {80, 6}, {96, 6}, {128, 9}, {258, 5}};
  for (const auto& row : rows) {
    state.operating_state = row.operating_state;
    EXPECT_EQ(row.code, OperatingStateCode(state)) << row.operating_state;
  }
  state.operating_state = 17;
  state.type_flag = 1;
  EXPECT_EQ(2, OperatingStateCode(state));
  state.type_flag = 0;
  EXPECT_EQ(3, OperatingStateCode(state));
}

TEST(UpsStateTest, GroupsInStateThree) {
  UpsState state;
  state.group_count = 3;  // entries 0..3 count
  state.group_states[0] = 1;
  state.group_states[1] = 3;
  state.group_states[2] = 0;
  state.group_states[3] = 3;
  state.group_states[4] = 3;  // beyond group_count
  EXPECT_EQ(2, CountGroupsInState3(state));

  EXPECT_EQ(1, SelectedGroupOf(state));
  // The selection holds while its group stays in state 3 ...
  state.group_states[1] = 3;
  EXPECT_EQ(1, SelectedGroupOf(state));
  // ... is dropped when it leaves it, and the next call picks again.
  state.group_states[1] = 1;
  EXPECT_EQ(0, SelectedGroupOf(state));
  EXPECT_EQ(3, SelectedGroupOf(state));

  // Without group information the selection is left as it is.
  state.group_count = -1;
  state.group_states[3] = 0;
  EXPECT_EQ(3, SelectedGroupOf(state));
  EXPECT_EQ(0, CountGroupsInState3(state));
}

TEST(UpsStateTest, LoadFromTheUpsOwnFigure) {
  UpsState state;
  state.measurement_types[47] = 0x10;  // measurement 48, slot 0
  state.measurement_values[0] = FloatWord(37.9f);
  UpdateDerivedValues(state);
  EXPECT_EQ(37, state.load_percent.load());
}

TEST(UpsStateTest, LoadFromPowerAgainstRatings) {
  UpsState state;
  state.rated_watts = 1200;
  state.rated_va = 1500;
  state.measurement_types[21] = 0xE0;  // measurement 22, slot 0
  state.measurement_types[23] = 0xE0;  // measurement 24, slot 1
  // 300 / 1200 * 100 + 0.5 = 25.5 -> 25; 600 / 1500 * 100 + 0.5 = 40.5 -> 40.
  state.measurement_values[0] = 300;
  state.measurement_values[1] = 600;
  UpdateDerivedValues(state);
  EXPECT_EQ(40, state.load_percent.load());

  // 900 / 1200 * 100 + 0.5 = 75.5 -> 75 beats 40.
  state.measurement_values[0] = 900;
  UpdateDerivedValues(state);
  EXPECT_EQ(75, state.load_percent.load());

  // Unknown ratings give no percentage.
  state.rated_watts = -1;
  state.rated_va = -1;
  UpdateDerivedValues(state);
  EXPECT_EQ(0, state.load_percent.load());
}

TEST(UpsStateTest, MeasurementHundredAveragesMeasurement36) {
  UpsState state;
  state.measurement_types[35] = 0xE0;  // measurement 36, slot 0
  state.measurement_values[0] = 40;
  // (40 + 0) * 0.5 + 0.5 = 20.5 -> 20, in slot 1 after measurement 36.
  UpdateDerivedValues(state);
  EXPECT_EQ(0xF0, state.measurement_types[99].load());
  EXPECT_EQ(20u, state.measurement_values[1].load());
  EXPECT_FLOAT_EQ(20.0f, Measurement(state, 100));
  // (40 + 20) * 0.5 + 0.5 = 30.5 -> 30.
  UpdateDerivedValues(state);
  EXPECT_FLOAT_EQ(30.0f, Measurement(state, 100));
}

TEST(UpsStateTest, MaxInputVoltageKeepsTheHighest) {
  UpsState state;
  state.measurement_types[56] = 0x10;  // measurement 57, slot 0
  state.measurement_values[0] = FloatWord(230.5f);
  UpdateDerivedValues(state);
  EXPECT_FLOAT_EQ(230.5f, MaxInputVoltageOf(state));
  state.measurement_values[0] = FloatWord(220.0f);
  UpdateDerivedValues(state);
  EXPECT_FLOAT_EQ(230.5f, MaxInputVoltageOf(state));
  state.measurement_values[0] = FloatWord(241.0f);
  UpdateDerivedValues(state);
  EXPECT_FLOAT_EQ(241.0f, MaxInputVoltageOf(state));
  state.max_input_voltage = -3.0f;
  EXPECT_EQ(0.0f, MaxInputVoltageOf(state));
}

TEST(UpsStateTest, TextFieldsAreCutToTheirSize) {
  UpsState state;
  const char* long_text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  StoreText(state.id_text_b, long_text, 26);
  EXPECT_EQ("ABCDEFGHIJKLMNOP", IdTextBOf(state));
  StoreText(state.id_text_b, "XY", 2);
  EXPECT_EQ("XY", IdTextBOf(state));
}

}  // namespace
}  // namespace zep
