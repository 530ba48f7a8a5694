#include "protocol/ups_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

namespace zep {
namespace {

// Little-endian word of an IEEE single, as the UPS sends it.
uint32_t FloatWord(float value) {
  uint32_t word;
  std::memcpy(&word, &value, sizeof word);
  return word;
}

TEST(UpsStateTest, NothingIsKnownBeforeAnyBinaryReply) {
  UpsState state;
  EXPECT_EQ(-1, state.protocol_mode.load());
  EXPECT_EQ(-1, state.poll_index.load());
  EXPECT_EQ(-1, state.pending_command_row.load());
  for (int mode : {-1, 0}) {
    state.protocol_mode = mode;
    state.rated_va = 1500;
    EXPECT_EQ(-1, RatedVaOf(state));
    EXPECT_EQ(-1, RatedWattsOf(state));
    EXPECT_EQ(-1, RatedVoltageOf(state));
    EXPECT_EQ(-1, FrequencyOf(state));
    EXPECT_EQ(-1, FirmwareVersionOf(state));
    EXPECT_EQ(-1, LoadLimitsOf(state));
  }
  for (int n = -1; n < 300; ++n) EXPECT_EQ(255, AlarmBit(state, n)) << n;
  for (int n = -1; n <= 101; ++n) EXPECT_EQ(-1.0f, Measurement(state, n)) << n;
  EXPECT_EQ(0.0f, MaxInputVoltageOf(state));
  EXPECT_EQ("", ModelNameOf(state));
  EXPECT_EQ(0, CountGroupsInState3(state));
  EXPECT_EQ(-1, state.test_alarm_memory.load());
  state.protocol_mode = 1;
  EXPECT_EQ(1500, RatedVaOf(state));
}

TEST(UpsStateTest, ResetSparesTextsPendingValuesAndTestMemory) {
  UpsState state;
  state.protocol_mode = 1;
  state.pending_command_row = 27;
  state.pending_mode_setting = 4;
  StoreText(state.model_name, "ZPX-A1500JC", 11);
  StoreText(state.id_text_a, "SERIAL123", 9);
  state.test_alarm_memory = 1;
  state.test_alarm_hold = 2;
  state.selected_group = 3;
  state.measurement_types[56] = 0x10;
  state.measurement_values[0] = 1;
  state.alarm_presence[0] = 0x01;
  state.percent_base = 200;
  state.max_input_voltage = 240.0f;
  state.operating_state = 128;

  ResetUpsState(state);

  EXPECT_EQ(-1, state.protocol_mode.load());
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
  EXPECT_EQ(-1, state.percent_base.load());
  EXPECT_EQ(0.0f, state.max_input_voltage.load());
  EXPECT_EQ(0xFFFF, state.operating_state.load());
}

TEST(UpsStateTest, NgReplyDecidesAsciiOnlyWhileProbing) {
  UpsState state;
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
  state.alarm_values[1] = 7;  // any nonzero value is on
  state.alarm_values[2] = 1;
  EXPECT_EQ(0, AlarmBit(state, 3));
  EXPECT_EQ(1, AlarmBit(state, 9));
  EXPECT_EQ(1, AlarmBit(state, 200));
  EXPECT_EQ(0, AlarmBit(state, 239));
  EXPECT_EQ(255, AlarmBit(state, 4));
  EXPECT_EQ(255, AlarmBit(state, 240));
}

TEST(UpsStateTest, MeasurementsDecodeByTypeCode) {
  UpsState state;
  // Measurements 1..7 with these codes; 8 absent; 10 in the slot after 7.
  const uint8_t types[] = {0x10, 0xE5, 0xE2, 0xF2, 0xF3,
                           0xF0, 0x7F, 0,    0,    0xE0};
  const uint32_t words[] = {FloatWord(230.5f),
                            1500,
                            1234,
                            103,       // 10300 >> 2 = 2575 hundredths
                            5,         // 500 >> 3 = 62 hundredths (0.625 cut)
                            50000000,  // 5e9 hundredths would wrap 32 bits
                            FloatWord(-2.5f),
                            11};
  for (int i = 0; i < 10; ++i) state.measurement_types[i] = types[i];
  for (int i = 0; i < 8; ++i) state.measurement_values[i] = words[i];
  EXPECT_FLOAT_EQ(230.5f, Measurement(state, 1));
  EXPECT_FLOAT_EQ(1500.0f, Measurement(state, 2));
  EXPECT_FLOAT_EQ(1234.0f, Measurement(state, 3));
  EXPECT_FLOAT_EQ(25.75f, Measurement(state, 4));
  EXPECT_FLOAT_EQ(0.62f, Measurement(state, 5));
  EXPECT_FLOAT_EQ(50000000.0f, Measurement(state, 6));
  EXPECT_FLOAT_EQ(-2.5f, Measurement(state, 7));
  EXPECT_EQ(-1.0f, Measurement(state, 8));
  EXPECT_FLOAT_EQ(11.0f, Measurement(state, 10));
}

TEST(UpsStateTest, PackedAccessors) {
  UpsState state;
  state.protocol_mode = 1;
  state.rated_voltage = 100;
  state.percent_base = 200;
  EXPECT_EQ(0x006400C8, RatedVoltageOf(state));  // (100 << 16) | 200
  state.aux_rating = 0;
  state.nominal_frequency = 50;
  EXPECT_EQ(50, FrequencyOf(state));
  state.aux_rating = -1;
  EXPECT_LT(FrequencyOf(state), 0);
  state.firmware_version[0] = 0x03;
  state.firmware_version[1] = 0x02;
  EXPECT_EQ(0x00020003, FirmwareVersionOf(state));
  // 210 * 100 / 200 = 105 high; 33 * 100 / 200 = 16 (16.5 cut) low.
  state.limit_low = 33;
  state.limit_high = 210;
  EXPECT_EQ(0x00690010, LoadLimitsOf(state));
  state.percent_base = 0;
  EXPECT_EQ(0, LoadLimitsOf(state));
}

TEST(UpsStateTest, OperatingStateCodeTable) {
  UpsState state;
  const int rows[][2] = {{16, 7}, {32, 0}, {33, 0},  {34, 0},
                         {80, 6}, {96, 6}, {128, 9}, {258, 5}};
  for (const auto& row : rows) {
    state.operating_state = static_cast<uint16_t>(row[0]);
    EXPECT_EQ(row[1], OperatingStateCode(state)) << row[0];
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
  const uint8_t states[] = {1, 3, 0, 3, 3};
  for (int i = 0; i < 5; ++i) state.group_states[i] = states[i];
  EXPECT_EQ(2, CountGroupsInState3(state));
  EXPECT_EQ(1, SelectedGroupOf(state));
  EXPECT_EQ(1, SelectedGroupOf(state));  // held while still in state 3
  state.group_states[1] = 1;
  EXPECT_EQ(0, SelectedGroupOf(state));  // dropped when it leaves it
  EXPECT_EQ(3, SelectedGroupOf(state));  // and the next one is picked
  state.group_count = -1;                // no group information
  state.group_states[3] = 0;
  EXPECT_EQ(3, SelectedGroupOf(state));
  EXPECT_EQ(0, CountGroupsInState3(state));
}

TEST(UpsStateTest, DerivedValuesAfterAMeasurementReply) {
  UpsState state;
  state.rated_watts = 1200;
  state.rated_va = 1500;
  // 22, 24 and 36 as integers, 57 as a float: slots 0..3.
  state.measurement_types[21] = 0xE0;
  state.measurement_types[23] = 0xE0;
  state.measurement_types[35] = 0xE0;
  state.measurement_types[56] = 0x10;
  state.measurement_values[0] = 300;
  state.measurement_values[1] = 600;
  state.measurement_values[2] = 40;
  state.measurement_values[3] = FloatWord(230.5f);
  UpdateDerivedValues(state);
  // 300 / 1200 * 100 + 0.5 = 25.5 -> 25; 600 / 1500 * 100 + 0.5 = 40.5 ->
  // 40; the larger.
  EXPECT_EQ(40, state.load_percent.load());
  // (40 + 0) * 0.5 + 0.5 = 20.5 -> 20, in slot 4 after measurement 57.
  EXPECT_EQ(0xF0, state.measurement_types[99].load());
  EXPECT_EQ(20u, state.measurement_values[4].load());
  EXPECT_FLOAT_EQ(230.5f, MaxInputVoltageOf(state));

  state.measurement_values[0] = 900;  // 75.5 -> 75
  state.measurement_values[3] = FloatWord(220.0f);
  UpdateDerivedValues(state);
  EXPECT_EQ(75, state.load_percent.load());
  EXPECT_FLOAT_EQ(30.0f, Measurement(state, 100));  // (40 + 20) * .5 + .5
  EXPECT_FLOAT_EQ(230.5f, MaxInputVoltageOf(state));

  // Measurement 48 is the UPS's own load figure and wins.
  state.measurement_types[47] = 0x10;  // slot 3 now; 57 moves to slot 4
  state.measurement_values[3] = FloatWord(37.9f);
  UpdateDerivedValues(state);
  EXPECT_EQ(37, state.load_percent.load());
}

// Readers on other threads see whole values while the I/O thread writes:
// run under the thread sanitizer, this shows the record is race-free.
TEST(UpsStateTest, ReadersRunBesideTheWriter) {
  UpsState state;
  state.protocol_mode = 1;
  state.alarm_presence[0] = 0xFF;
  state.measurement_types[56] = 0xE0;
  std::thread writer([&state] {
    for (int i = 0; i < 2000; ++i) {
      state.alarm_values[i % 8] = static_cast<uint8_t>(i & 1);
      state.measurement_values[0] = static_cast<uint32_t>(i);
      StoreText(state.model_name, "ZPX", 3);
      UpdateDerivedValues(state);
    }
  });
  int seen = 0;
  for (int i = 0; i < 2000; ++i) {
    seen += AlarmBit(state, i % 8) <= 1;
    seen += Measurement(state, 57) >= 0.0f;
    seen += ModelNameOf(state).size() <= 3;
  }
  writer.join();
  EXPECT_EQ(6000, seen);
}

}  // namespace
}  // namespace zep
