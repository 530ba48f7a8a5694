#include "protocol/ups_state.h"

#include <cmath>
#include <cstring>

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Number of the measurement the service computes itself (a running average
// of measurement 36) and the type code it gives it.
constexpr int kAverageMeasurement = 100;
constexpr uint8_t kAverageType = 0xF0;

template <typename T, size_t N>
void Fill(std::atomic<T> (&field)[N], T value) {
  for (auto& item : field) item.store(value, kRelaxed);
}

// Position of measurement n (1-based) among the present measurements.
int MeasurementSlot(const UpsState& state, int n) {
  int slot = 0;
  for (int i = 0; i < n - 1; ++i) {
    if (state.measurement_types[i].load(kRelaxed) != 0) ++slot;
  }
  return slot;
}

// value / rated as a whole percentage, rounded half up; 0 when either is
// not positive.
int PercentOf(float value, int32_t rated) {
  if (!(value > 0.0f) || rated <= 0) return 0;
  double percent = static_cast<double>(value) / rated * 100.0 + 0.5;
  if (percent > 32767.0) return 32767;
  return static_cast<int>(percent);
}

// Truncates toward zero into the 16-bit range of load_percent (a float
// outside an integer's range must not be converted directly).
int16_t TruncateToInt16(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 32767.0f) return 32767;
  if (value <= -32768.0f) return -32768;
  return static_cast<int16_t>(value);
}

}  // namespace

UpsState::UpsState() {
  pending_command_row.store(-1, kRelaxed);
  pending_mode_setting.store(-1, kRelaxed);
  StoreText(model_name, "", 0);
  StoreText(id_text_a, "", 0);
  StoreText(id_text_b, "", 0);
  test_alarm_memory.store(-1, kRelaxed);
  test_alarm_hold.store(0, kRelaxed);
  selected_group.store(0, kRelaxed);
  ResetUpsState(*this);
}

void ResetUpsState(UpsState& state) {
  state.protocol_mode.store(-1, kRelaxed);
  state.poll_index.store(-1, kRelaxed);
  Fill<uint8_t>(state.firmware_version, 0xFF);
  state.rated_va.store(-1, kRelaxed);
  Fill<uint8_t>(state.measurement_types, 0);
  Fill<uint8_t>(state.alarm_presence, 0);
  Fill<uint8_t>(state.alarm_values, 0);
  Fill<uint32_t>(state.measurement_values, 0);
  state.ups_flags.store(0xFF, kRelaxed);
  state.test_state.store(-1, kRelaxed);
  state.test_detail.store(-1, kRelaxed);
  state.group_count.store(-1, kRelaxed);
  Fill<uint8_t>(state.group_states, 0xFF);
  state.rated_voltage.store(-1, kRelaxed);
  state.aux_rating.store(-1, kRelaxed);
  state.type_flag.store(0xFF, kRelaxed);
  state.percent_base.store(-1, kRelaxed);
  state.nominal_frequency.store(-1, kRelaxed);
  state.rated_watts.store(-1, kRelaxed);
  state.frequency_tolerance.store(-1, kRelaxed);
  state.mode_setting.store(-1, kRelaxed);
  state.limit_low.store(-1, kRelaxed);
  state.limit_high.store(-1, kRelaxed);
  state.operating_state.store(0xFFFF, kRelaxed);
  state.load_percent.store(-1, kRelaxed);
  state.max_input_voltage.store(0.0f, kRelaxed);
}

int ProtocolModeOf(UpsState& state, const char* reply_text) {
  if (reply_text != nullptr && state.protocol_mode.load(kRelaxed) == -1 &&
      reply_text[0] == 'N' && reply_text[1] == 'G') {
    state.protocol_mode.store(0, kRelaxed);
  }
  return state.protocol_mode.load(kRelaxed);
}

uint8_t AlarmBit(const UpsState& state, int n) {
  if (n < 0 || n >= kAlarmBitCount) return 255;
  auto present = [&state](int bit) {
    return (state.alarm_presence[bit / 8].load(kRelaxed) >> (bit % 8)) & 1;
  };
  if (!present(n)) return 255;
  int position = 0;
  for (int bit = 0; bit < n; ++bit) position += present(bit);
  return state.alarm_values[position].load(kRelaxed) != 0 ? 1 : 0;
}

float DecodeMeasurement(uint8_t type_code, uint32_t raw) {
  if (type_code == 0) return -1.0f;
  if (type_code == 0xE2) type_code = 0xF0;
  if ((type_code & 0xF0) == 0xE0) return static_cast<float>(raw);
  if ((type_code & 0xF0) == 0xF0) {
    // A fixed-point value with k fraction bits, cut (not rounded) to two
    // decimals. The product is formed in 64 bits: in 32 bits it would wrap
    // for values above 42949672 and give a plainly wrong reading.
    int k = type_code & 0x0F;
    uint64_t hundredths = (static_cast<uint64_t>(raw) * 100u) >> k;
    return static_cast<float>(static_cast<double>(hundredths) / 100.0);
  }
  float value;
  static_assert(sizeof value == sizeof raw, "IEEE single precision");
  std::memcpy(&value, &raw, sizeof value);
  return value;
}

float Measurement(const UpsState& state, int n) {
  if (n <= 0 || n > kMeasurementCount) return -1.0f;
  uint8_t type_code = state.measurement_types[n - 1].load(kRelaxed);
  if (type_code == 0) return -1.0f;
  int slot = MeasurementSlot(state, n);
  return DecodeMeasurement(type_code,
                           state.measurement_values[slot].load(kRelaxed));
}

void UpdateDerivedValues(UpsState& state) {
  // Load in percent: the UPS's own figure when it supplies one, else the
  // larger of active power and apparent power against their ratings.
  if (state.measurement_types[47].load(kRelaxed) != 0) {
    state.load_percent.store(TruncateToInt16(Measurement(state, 48)), kRelaxed);
  } else {
    int w = PercentOf(Measurement(state, 22), state.rated_watts.load(kRelaxed));
    int v = PercentOf(Measurement(state, 24), state.rated_va.load(kRelaxed));
    int load = (w != 0 || v != 0) ? (w > v ? w : v) : 0;
    state.load_percent.store(static_cast<int16_t>(load), kRelaxed);
  }

  // Measurement 100: a running two-point average of measurement 36, kept in
  // the slot after the last measurement the UPS supplies.
  state.measurement_types[kAverageMeasurement - 1].store(kAverageType,
                                                         kRelaxed);
  int slot = MeasurementSlot(state, kAverageMeasurement);
  uint32_t previous = state.measurement_values[slot].load(kRelaxed);
  double average =
      (static_cast<double>(Measurement(state, 36)) + previous) * 0.5 + 0.5;
  // A negative or oversized sum has no unsigned value; hold it at the ends.
  uint32_t stored = 0;
  if (average >= 4294967295.0) {
    stored = 0xFFFFFFFFu;
  } else if (average > 0.0) {
    stored = static_cast<uint32_t>(average);
  }
  state.measurement_values[slot].store(stored, kRelaxed);

  float input = Measurement(state, 57);
  if (input > state.max_input_voltage.load(kRelaxed)) {
    state.max_input_voltage.store(input, kRelaxed);
  }
}

int32_t RatedVaOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  return state.rated_va.load(kRelaxed);
}

int32_t RatedWattsOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  return state.rated_watts.load(kRelaxed);
}

namespace {

// (high << 16) | low with low taken as 16 unsigned bits, so that a negative
// low half cannot spill into the high half.
int32_t PackHalves(int high, int low) {
  uint32_t packed = (static_cast<uint32_t>(high) << 16) |
                    (static_cast<uint32_t>(low) & 0xFFFFu);
  return static_cast<int32_t>(packed);
}

}  // namespace

int32_t RatedVoltageOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  return PackHalves(state.rated_voltage.load(kRelaxed),
                    state.percent_base.load(kRelaxed));
}

int32_t FrequencyOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  return PackHalves(state.aux_rating.load(kRelaxed),
                    state.nominal_frequency.load(kRelaxed));
}

int32_t FirmwareVersionOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  return PackHalves(state.firmware_version[1].load(kRelaxed),
                    state.firmware_version[0].load(kRelaxed));
}

int32_t LoadLimitsOf(const UpsState& state) {
  if (state.protocol_mode.load(kRelaxed) <= 0) return -1;
  int base = state.percent_base.load(kRelaxed);
  // Without a known base there is no percentage to give; report 0 rather
  // than divide by zero or by the unknown marker.
  if (base <= 0) return 0;
  int high = state.limit_high.load(kRelaxed) * 100 / base;
  int low = state.limit_low.load(kRelaxed) * 100 / base;
  return PackHalves(high, low);
}

std::string ModelNameOf(const UpsState& state) {
  return LoadText(state.model_name);
}

std::string IdTextAOf(const UpsState& state) {
  return LoadText(state.id_text_a);
}

std::string IdTextBOf(const UpsState& state) {
  return LoadText(state.id_text_b);
}

int OperatingStateCode(const UpsState& state) {
  switch (state.operating_state.load(kRelaxed)) {
    case 16:
      return 7;
    case 32:
    case 33:
    case 34:
      return 0;
    case 80:
    case 96:
      return 6;
    case 128:
      return 9;
    case 258:
      return 5;
    default:
      return state.type_flag.load(kRelaxed) != 0 ? 2 : 3;
  }
}

float MaxInputVoltageOf(const UpsState& state) {
  float value = state.max_input_voltage.load(kRelaxed);
  return value < 0.0f ? 0.0f : value;
}

int CountGroupsInState3(const UpsState& state) {
  int count = state.group_count.load(kRelaxed);
  if (count < 0) return 0;
  if (count > kGroupStateCount - 1) count = kGroupStateCount - 1;
  int found = 0;
  for (int i = 0; i <= count; ++i) {
    if (state.group_states[i].load(kRelaxed) == 3) ++found;
  }
  return found;
}

int SelectedGroupOf(UpsState& state) {
  int count = state.group_count.load(kRelaxed);
  if (count < 0) return state.selected_group.load(kRelaxed);
  if (count > kGroupStateCount - 1) count = kGroupStateCount - 1;
  int selected = state.selected_group.load(kRelaxed);
  if (selected != 0) {
    bool still = selected > 0 && selected < kGroupStateCount &&
                 state.group_states[selected].load(kRelaxed) == 3;
    if (!still) selected = 0;
  } else {
    for (int i = 0; i <= count; ++i) {
      if (state.group_states[i].load(kRelaxed) == 3) {
        selected = i;
        break;
      }
    }
  }
  state.selected_group.store(static_cast<int8_t>(selected), kRelaxed);
  return selected;
}

std::string LoadText(const std::atomic<char>* field, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    char c = field[i].load(kRelaxed);
    if (c == '\0') break;
    text.push_back(c);
  }
  return text;
}

void StoreText(std::atomic<char>* field, size_t size, const char* text,
               size_t length) {
  if (size == 0) return;
  if (length > size - 1) length = size - 1;
  for (size_t i = 0; i < length; ++i) field[i].store(text[i], kRelaxed);
  for (size_t i = length; i < size; ++i) field[i].store('\0', kRelaxed);
}

}  // namespace zep
