// The answers an ASCII UPS would give, built from the UPS state record for a
// binary UPS. Zero-padded decimals are the float expressions truncated
// toward zero; hex fields are fixed-width upper case. An alarm bit counts
// as on only when AlarmBit gives 1 (unknown reads as off), except where an
// answer says otherwise.
#include <climits>
#include <cmath>
#include <string>

#include "protocol/ascii_builders.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"
#include "text_format.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// Measurement numbers the answers read.
constexpr int kApparentPower = 24;
constexpr int kOutputFrequency = 28;
constexpr int kInputFrequency = 29;
constexpr int kBatteryVoltage = 34;
constexpr int kBatteryCapacity = 35;
constexpr int kInputVoltage = 57;
constexpr int kTemperature = 63;
constexpr int kOutputVoltage = 79;

// Alarm bits that report a fault of the UPS (bit 0x10 of "Q1", 0x20 of
// "QQ") and a low or failing battery (bit 0x40 of both).
constexpr int kFaultBits[] = {30, 31, 33,  34,  35,  36, 58,
                              79, 82, 117, 146, 195, 224};
constexpr int kBatteryBits[] = {56, 149, 174, 199};

constexpr int kTestAlarmBit = 149;

bool On(const UpsState& state, int bit) { return AlarmBit(state, bit) == 1; }

template <size_t N>
bool AnyOn(const UpsState& state, const int (&bits)[N]) {
  for (int bit : bits) {
    if (On(state, bit)) return true;
  }
  return false;
}

bool Measured(const UpsState& state) {
  return state.protocol_mode.load(kRelaxed) == 1;
}

// Truncation toward zero that stays defined for any float the UPS may send
// (NaN reads 0, values beyond int are held at its ends).
int Truncate(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0f) return INT_MAX;
  if (value <= -2147483648.0f) return INT_MIN;
  return static_cast<int>(value);
}

// The integer part and the tenths digit of a value, as "Q1" prints them.
int WholePart(float value) { return Truncate(value); }
int TenthsDigit(float value) { return Truncate(value * 10.0f) % 10; }

int NonNegative(int value) { return value < 0 ? 0 : value; }

int LoadPercent(const UpsState& state) {
  return NonNegative(state.load_percent.load(kRelaxed));
}

// Measurement 63 times ten, 0 while it is not known.
int TemperatureTenths(const UpsState& state) {
  float value = Measurement(state, kTemperature);
  return value < 0.0f ? 0 : Truncate(value * 10.0f);
}

std::string Bits(uint8_t byte) {
  std::string text;
  for (int bit = 7; bit >= 0; --bit)
    text.push_back((byte >> bit) & 1 ? '1' : '0');
  return text;
}

std::string HexByte(uint8_t value) { return FormatText("%02X", value); }

int WriteFormatted(char* buffer, size_t capacity, const std::string& text) {
  return WriteAnswer(buffer, capacity, text.c_str());
}

// The alarm summary byte of "&S1".
uint8_t AlarmSummaryByte(const UpsState& state) {
  uint8_t byte = 0;
  if (On(state, 73) || On(state, 74) || On(state, 202) || On(state, 203)) {
    byte |= 0x01;
  }
  if (On(state, 0) || On(state, 1) || On(state, 9) || On(state, 10) ||
      On(state, 27)) {
    byte |= 0x02;
  }
  if (On(state, 23)) byte |= 0x04;
  if (On(state, 26) || On(state, 28) || On(state, 29)) byte |= 0x08;
  if (On(state, 193)) byte |= 0x10;
  if (On(state, 8)) {
    // Input frequency out of its window: 0x80 below, 0xC0 above (tenths of
    // a hertz on both sides).
    if (FrequencyOf(state) <= 0) {
      byte |= 0x80;
    } else {
      int f = Truncate(Measurement(state, kInputFrequency) * 10.0f);
      int n = state.nominal_frequency.load(kRelaxed) * 10;
      int half_width = state.frequency_tolerance.load(kRelaxed) / 10;
      if (f < n - half_width) {
        byte |= 0x80;
      } else if (f > n + half_width) {
        byte |= 0xC0;
      }
    }
  }
  if ((byte & 0xC0) == 0 && On(state, 6)) byte |= 0x40;
  return byte;
}

// Bits 0x01 and 0x02 of the "&S1" state byte: from the flag byte when the
// UPS reports one, else from the alarm bits.
bool OnlineState(const UpsState& state) {
  uint8_t flags = state.ups_flags.load(kRelaxed);
  if (flags == 0) return On(state, 169);
  return (flags & 0x07) == 0x07 && (flags & 0x10) == 0;
}

bool BypassState(const UpsState& state) {
  uint8_t flags = state.ups_flags.load(kRelaxed);
  if (flags == 0) return On(state, 171);
  return (flags & 0x12) == 0x12;
}

bool MainsFailed(const UpsState& state) {
  return On(state, 57) || On(state, 59);
}

uint8_t StateByte(const UpsState& state) {
  uint8_t byte = 0;
  if (OnlineState(state)) byte |= 0x01;
  if (BypassState(state)) byte |= 0x02;
  if (MainsFailed(state)) byte |= 0x04;
  if (On(state, 25)) byte |= 0x08;
  if (On(state, kTestAlarmBit) || state.test_detail.load(kRelaxed) == 4) {
    byte |= 0x20;
  }
  if ((byte & 0x04) != 0 && (On(state, 56) || On(state, 174) ||
                             (state.ups_flags.load(kRelaxed) & 0x20) != 0)) {
    byte |= 0x40;
  }
  if (On(state, 178)) byte |= 0x80;
  return byte;
}

int SettingCode(const UpsState& state) {
  switch (state.mode_setting.load(kRelaxed)) {
    case 0:
    case 5:
      return 1;
    case 3:
      return 0;
    case 4:
      return 4;
    default:
      return 7;
  }
}

// The test transient of "Q1": on for the answer in which alarm bit 149
// changed and for the next one.
bool TestTransient(UpsState& state) {
  uint8_t bit = AlarmBit(state, kTestAlarmBit);
  if (bit == 255) return false;
  int memory = state.test_alarm_memory.load(kRelaxed);
  bool known = memory == 0 || memory == 1;
  if (bit != memory && (known || bit == 1)) {
    state.test_alarm_memory.store(static_cast<int8_t>(bit), kRelaxed);
    state.test_alarm_hold.store(2, kRelaxed);
    return true;
  }
  if (bit == memory) {
    uint8_t hold = state.test_alarm_hold.load(kRelaxed);
    if (hold > 0) --hold;
    state.test_alarm_hold.store(hold, kRelaxed);
    return hold > 0;
  }
  return false;
}

bool GroupInState3(UpsState& state) { return SelectedGroupOf(state) > 0; }

// Firmware version digits: HH is the pair's second byte, LL its first.
std::string VersionHigh(const UpsState& state) {
  return HexByte(state.firmware_version[1].load(kRelaxed));
}
std::string VersionLow(const UpsState& state) {
  return HexByte(state.firmware_version[0].load(kRelaxed));
}

}  // namespace

int WriteAnswer(char* buffer, size_t capacity, const char* text) {
  size_t length = std::char_traits<char>::length(text);
  if (buffer == nullptr || length + 1 > capacity) return -1;
  CopyText(buffer, capacity, text);
  return static_cast<int>(length);
}

int BuildStatusAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                      size_t capacity) {
  if (!Measured(state)) return -1;
  int32_t limits = LoadLimitsOf(state);
  int low = static_cast<int16_t>(limits & 0xFFFF);
  int high = limits >> 16;
  return WriteFormatted(buffer, capacity,
                        FormatText("%s%s%03X%01d%01d%02d%03d%01d\r",
                                   HexByte(AlarmSummaryByte(state)).c_str(),
                                   HexByte(StateByte(state)).c_str(),
                                   SettingCode(state), 0, 0, low, high, 0));
}

int BuildMeasurementAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                           size_t capacity) {
  if (!Measured(state)) return -1;
  uint8_t status = 0x01;
  uint8_t flags = state.ups_flags.load(kRelaxed);
  if (flags != 0 && (flags & 0x02) == 0) status |= 0x02;
  int test_state = state.test_state.load(kRelaxed);
  bool transient = TestTransient(state);
  if (test_state == 1 || test_state == 5 || transient) status |= 0x04;
  if (GroupInState3(state)) status |= 0x08;
  if (AnyOn(state, kFaultBits)) status |= 0x10;
  if (AnyOn(state, kBatteryBits)) status |= 0x40;
  if (MainsFailed(state)) status |= 0x80;

  float input = Measurement(state, kInputVoltage);
  float peak = MaxInputVoltageOf(state);
  float output = Measurement(state, kOutputVoltage);
  float frequency = Measurement(state, kInputFrequency);
  float battery = Measurement(state, kBatteryVoltage);
  float temperature = Measurement(state, kTemperature);
  if (temperature < 0.0f) temperature = 0.0f;
  return WriteFormatted(
      buffer, capacity,
      FormatText("(%03d.%d %03d.%d %03d.%d %03d %02d.%d %02d.%d %02d.%d %s\r",
                 WholePart(input), TenthsDigit(input), WholePart(peak),
                 TenthsDigit(peak), WholePart(output), TenthsDigit(output),
                 LoadPercent(state), WholePart(frequency),
                 TenthsDigit(frequency), WholePart(battery),
                 TenthsDigit(battery), WholePart(temperature),
                 TenthsDigit(temperature), Bits(status).c_str()));
}

int BuildExtendedAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                        size_t capacity) {
  if (!Measured(state)) return -1;
  uint8_t status = 0;
  if (OnlineState(state)) status |= 0x01;
  // Unknown counts as on here.
  if (AlarmBit(state, 181) != 0) status |= 0x02;
  if (BypassState(state)) status |= 0x04;
  uint8_t flags = state.ups_flags.load(kRelaxed);
  if (flags != 0 && (flags & 0x02) == 0) {
    status |= 0x08;
    status &= static_cast<uint8_t>(~0x02);
  }
  if (GroupInState3(state)) status |= 0x10;
  if (AnyOn(state, kFaultBits)) status |= 0x20;
  if (AnyOn(state, kBatteryBits)) status |= 0x40;
  if (MainsFailed(state)) status |= 0x80;

  return WriteFormatted(
      buffer, capacity,
      FormatText("(%04d %04d %s %03d %03d %03d %04d %03d %03d %s\r",
                 Truncate(Measurement(state, kInputVoltage) * 10.0f),
                 Truncate(Measurement(state, kOutputVoltage) * 10.0f),
                 "FFFFFFFF", LoadPercent(state),
                 Truncate(Measurement(state, kInputFrequency) * 10.0f),
                 Truncate(Measurement(state, kOutputFrequency) * 10.0f),
                 Truncate(Measurement(state, kBatteryVoltage) * 10.0f),
                 TemperatureTenths(state),
                 Truncate(Measurement(state, kApparentPower) / 100.0f + 0.5f),
                 Bits(status).c_str()));
}

int BuildOutputAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                      size_t capacity) {
  if (!Measured(state)) return -1;
  return WriteFormatted(
      buffer, capacity,
      FormatText(
          "%03d%03d%03d%03d\r", Truncate(Measurement(state, kInputVoltage)),
          Truncate(Measurement(state, kOutputVoltage)), LoadPercent(state),
          Truncate(Measurement(state, kInputFrequency) * 10.0f)));
}

int BuildBatteryAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                       size_t capacity) {
  if (!Measured(state)) return -1;
  int t = TemperatureTenths(state);
  return WriteFormatted(
      buffer, capacity,
      FormatText("%03d%03d%04d%03d%02d\r", t, t, 0,
                 Truncate(Measurement(state, kBatteryCapacity)), 99));
}

int BuildModelAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                     size_t capacity) {
  if (!Measured(state)) return -1;
  return WriteFormatted(
      buffer, capacity,
      FormatText("%-9.9s %s.%s\r", ModelNameOf(state).c_str(),
                 VersionHigh(state).c_str(), VersionLow(state).c_str()));
}

int BuildModelVersionAnswer(UpsState& state, const ReplyAssembly&, char* buffer,
                            size_t capacity) {
  if (!Measured(state)) return -1;
  return WriteFormatted(
      buffer, capacity,
      FormatText("%s%-15s %s.%s   \r", "%M", ModelNameOf(state).c_str(),
                 VersionHigh(state).c_str(), VersionLow(state).c_str()));
}

int BuildConfirmAnswer(UpsState&, const ReplyAssembly& reply, char* buffer,
                       size_t capacity) {
  return WriteAnswer(buffer, capacity, ReplyConfirms(reply) ? "OK\r" : "NG\r");
}

int BuildTestAnswer(UpsState& state, const ReplyAssembly& reply, char* buffer,
                    size_t capacity) {
  if (ReplyConfirms(reply)) {
    // A test the UPS accepted runs from now on, unless the state already
    // says so (1, 5..127) or is not known (negative).
    int test_state = state.test_state.load(kRelaxed);
    if (test_state == 0 || (test_state >= 2 && test_state <= 4)) {
      state.test_state.store(5, kRelaxed);
    }
  }
  return BuildConfirmAnswer(state, reply, buffer, capacity);
}

int BuildSettingAnswer(UpsState& state, const ReplyAssembly& reply,
                       char* buffer, size_t capacity) {
  if (ReplyConfirms(reply)) {
    state.mode_setting.store(state.pending_mode_setting.load(kRelaxed),
                             kRelaxed);
  }
  return BuildConfirmAnswer(state, reply, buffer, capacity);
}

}  // namespace zep
