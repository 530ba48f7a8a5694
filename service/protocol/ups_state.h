// What the service knows of the UPS: ratings, identification texts, the raw
// measurement and alarm blocks and the few values derived from them, filled
// from the binary replies and read by the ASCII reply builders, the monitor,
// the event thread and the status datagrams.
//
// The UPS I/O thread is the only writer (the monitor also resets the record
// between phases, while no command is in flight); the other threads read
// single fields without a lock. So every field is a std::atomic of at most
// 32 bits, used with relaxed ordering: a reader may see a value from the
// previous poll, never a torn one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zep {

/// Sizes of the record's blocks.
constexpr int kModelNameSize = 33;      // 32 characters and the NUL
constexpr int kIdTextSize = 17;         // 16 characters and the NUL
constexpr int kMeasurementCount = 100;  // measurements 1..100
constexpr int kAlarmPresenceSize = 30;  // 240 presence bits
constexpr int kAlarmBitCount = 240;     // alarm bits 0..239
constexpr int kGroupStateCount = 10;    // group indexes 0..9

/// The UPS state record. A new record holds the values of a service start:
/// everything reset (see ResetUpsState), an empty model name and texts,
/// no pending command, test alarm unknown and no selected group.
struct UpsState {
  UpsState();
  UpsState(const UpsState&) = delete;
  UpsState& operator=(const UpsState&) = delete;

  /// -1 probing, 0 ASCII UPS (commands pass unchanged), 1 binary UPS.
  std::atomic<int8_t> protocol_mode;
  /// Position in the poll sequence; -1 before the first poll.
  std::atomic<int8_t> poll_index;
  /// Row of the ASCII command table whose reply is awaited; -1 none.
  std::atomic<int32_t> pending_command_row;
  /// Value of the last "&Z" request, adopted when the UPS confirms it.
  std::atomic<int16_t> pending_mode_setting;
  /// Version pair 1 of the identification: [0] first byte, [1] second.
  std::atomic<uint8_t> firmware_version[2];
  std::atomic<int32_t> rated_va;
  std::atomic<char> model_name[kModelNameSize];
  /// Type code of measurement n at index n-1; 0 = not supplied.
  std::atomic<uint8_t> measurement_types[kMeasurementCount];
  /// Bit n (byte n/8, bit n%8) set when the UPS supports alarm bit n.
  std::atomic<uint8_t> alarm_presence[kAlarmPresenceSize];
  /// One byte per supported alarm bit, ascending; nonzero = on.
  std::atomic<uint8_t> alarm_values[kAlarmBitCount];
  /// Raw 4-byte values of the present measurements, ascending, each read
  /// little-endian into one 32-bit word.
  std::atomic<uint32_t> measurement_values[kMeasurementCount];
  std::atomic<uint8_t> ups_flags;
  std::atomic<int8_t> test_state;
  std::atomic<int8_t> test_detail;
  std::atomic<int8_t> group_count;
  std::atomic<uint8_t> group_states[kGroupStateCount];
  std::atomic<int16_t> rated_voltage;
  std::atomic<int16_t> aux_rating;
  std::atomic<uint8_t> type_flag;
  std::atomic<char> id_text_a[kIdTextSize];
  std::atomic<char> id_text_b[kIdTextSize];
  std::atomic<int16_t> percent_base;
  std::atomic<int16_t> nominal_frequency;
  std::atomic<int32_t> rated_watts;
  std::atomic<int16_t> frequency_tolerance;
  std::atomic<int16_t> mode_setting;
  std::atomic<int16_t> limit_low;
  std::atomic<int16_t> limit_high;
  std::atomic<uint16_t> operating_state;
  std::atomic<int16_t> load_percent;
  std::atomic<float> max_input_voltage;
  std::atomic<int8_t> test_alarm_memory;
  std::atomic<uint8_t> test_alarm_hold;
  std::atomic<int8_t> selected_group;
};

/// Applies the reset values: numeric fields to all bytes 0xFF (-1), the
/// measurement types, alarm presence, alarm values and measurement values to
/// 0, max_input_voltage to 0. Leaves pending_command_row,
/// pending_mode_setting, model_name, id_text_a, id_text_b, test_alarm_memory,
/// test_alarm_hold and selected_group as they are.
void ResetUpsState(UpsState& state);

/// Returns protocol_mode. When `reply_text` is given and the mode is still
/// unknown, a reply beginning with "NG" first sets the mode to 0.
int ProtocolModeOf(UpsState& state, const char* reply_text = nullptr);

/// 1 or 0 for a supported alarm bit; 255 when n is outside 0..239 or the UPS
/// does not support bit n.
uint8_t AlarmBit(const UpsState& state, int n);

/// The value of measurement n (1..100) decoded by its type code, or -1 when
/// n is out of range or the UPS does not supply it.
float Measurement(const UpsState& state, int n);

/// Decodes one raw measurement word by its type code (code 0 gives -1).
float DecodeMeasurement(uint8_t type_code, uint32_t raw);

/// Recomputes load_percent, measurement 100 and max_input_voltage; called
/// after every measurement reply.
void UpdateDerivedValues(UpsState& state);

// Accessors for the monitor: each returns -1 while protocol_mode <= 0.

int32_t RatedVaOf(const UpsState& state);
int32_t RatedWattsOf(const UpsState& state);
/// (rated_voltage << 16) | percent_base.
int32_t RatedVoltageOf(const UpsState& state);
/// (aux_rating << 16) | nominal_frequency; its sign is aux_rating's.
int32_t FrequencyOf(const UpsState& state);
/// (second byte << 16) | first byte of firmware_version.
int32_t FirmwareVersionOf(const UpsState& state);
/// ((limit_high * 100 / percent_base) << 16) | (limit_low * 100 /
/// percent_base), each half 16 bits wide. Both halves are 0 while
/// percent_base is 0 or unknown.
int32_t LoadLimitsOf(const UpsState& state);

// Plain accessors.

std::string ModelNameOf(const UpsState& state);
std::string IdTextAOf(const UpsState& state);
std::string IdTextBOf(const UpsState& state);
/// The operating state in the service's own numbering (7, 0, 6, 9, 5, or 2/3
/// by type_flag).
int OperatingStateCode(const UpsState& state);
/// max_input_voltage, negative values read as 0.
float MaxInputVoltageOf(const UpsState& state);

/// Number of group entries 0..group_count in state 3 (0 when group_count is
/// negative).
int CountGroupsInState3(const UpsState& state);

/// Keeps selected_group while that group is still in state 3, drops it
/// otherwise, and picks the lowest group in state 3 when none is selected.
/// Returns selected_group; only values above 0 mean a group is in state 3.
int SelectedGroupOf(UpsState& state);

// Texts held as arrays of atomic characters.

/// Reads a text field up to its NUL (or its size).
std::string LoadText(const std::atomic<char>* field, size_t size);
/// Writes `length` characters (cut to size-1) and the NUL.
void StoreText(std::atomic<char>* field, size_t size, const char* text,
               size_t length);

template <size_t N>
std::string LoadText(const std::atomic<char> (&field)[N]) {
  return LoadText(field, N);
}
template <size_t N>
void StoreText(std::atomic<char> (&field)[N], const char* text, size_t length) {
  StoreText(field, N, text, length);
}

}  // namespace zep
