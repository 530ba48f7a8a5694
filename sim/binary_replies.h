// What the simulated binary UPS answers to each request ID: the reply type
// and the payload, built from the model and the readings. One table row per
// request ID.
//
// Layouts (payload offsets, multi-byte values little-endian):
//   0x31 -> 0x01 identification: k = 3 version pairs (0x00 0x01;
//        minor major = the firmware; 0xFF 0xFF, an absent pair), rating byte,
//        u16 VA / 50, two unused bytes, model length and text, 80 measurement
//        type codes, 30 alarm presence bytes (136 bytes for an 11-character
//        model: three frames).
//   0x36 -> 0x06 ratings and texts, 80 bytes: u16 rated V at 8, u16 1 at 10,
//        type flag 0 at 16, identification texts at 48 and 64 (16 characters
//        each, padded with spaces): two frames.
//   0x43 -> 0x13 operating state word, u16 32.
//   0x33 -> 0x03 flags: byte 1 = 0x12 (on line), 0x32 with the battery low.
//   0x3C -> 0x0C limits: u16 percent base 1000 at 0, u16 50 Hz at 2, u16 W/50
//        at 4, u16 tolerance 300 (3.00 Hz) at 8, the mode setting at 17,
//        u16 limits 100 and 1100 at 18 and 20, three tagged entries (0x90,
//        0x91, 0x92 with a u16 each) announced at 31: 41 bytes.
//   0x34 -> 0x04 the values of the present measurements, ascending.
//   0x35 -> 0x05 one byte per supported alarm bit, ascending.
//   0x41 -> 0x11 groups: count 2, stride 2, {1, 1}, {2, 1}.
//   0x3B -> 0x0B test state: byte 0 = 0, byte 18 = 0, byte 20 = 0 (21 bytes).
//   0x97 (sub-codes 4 and 3), 0x8A, 0x91, 0x93, 0xB1, 0x95 -> 0x09
//        confirmation: "1" and the request ID, or "0" and the ID when the UPS
//        refuses.
//   0xCF (sent before each control request) gets no answer: the service does
//        not read one, and bytes left in its input queue would be joined in
//        front of the control request's confirmation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binary_frames.h"
#include "sim_state.h"
#include "ups_models.h"

namespace zep {

/// Measurement numbers the binary models supply.
enum MeasurementNumber : int {
  kMeasureOutputW = 22,
  kMeasureOutputVa = 24,
  kMeasureInputFrequency = 28,
  kMeasureOutputFrequency = 29,
  kMeasureBatteryVoltage = 34,
  kMeasureBatteryCapacity = 35,
  kMeasureBatteryRuntime = 36,
  kMeasureLoadPercent = 48,
  kMeasureInputVoltage = 57,
  kMeasureTemperature = 63,
  kMeasureOutputVoltage = 79,
};

/// Alarm bits the binary models support (and the ones they raise).
enum AlarmBitNumber : int {
  kAlarmOverload = 25,
  kAlarmBatteryLow = 56,
  kAlarmMainsFailure = 57,
  kAlarmOverTemperature = 73,
};

/// Measurement type codes the models use: all three decodings occur.
constexpr uint8_t kTypeFloat = 0x01;       ///< IEEE single precision
constexpr uint8_t kTypeInteger = 0xE0;     ///< unsigned 32-bit
constexpr uint8_t kTypeIntegerAlt = 0xE2;  ///< read like 0xF0: plain integer
constexpr uint8_t kTypeHalves = 0xF1;      ///< unsigned / 2
constexpr uint8_t kTypeQuarters = 0xF2;    ///< unsigned / 4

/// How many measurement type codes the identification carries.
constexpr size_t kMeasurementTypeCount = 80;
/// How many alarm presence bytes the identification carries.
constexpr size_t kAlarmPresenceBytes = 30;

/// The UPS's side of a binary exchange.
struct BinaryContext {
  const UpsModel* model = nullptr;
  Readings readings;
  bool reject_controls = false;
  /// The operating mode the UPS reports at byte 17 of the limits reply.
  int mode_setting = 0;
};

struct BinaryReply {
  /// False: the UPS stays silent (unknown ID, 0xCF).
  bool answered = false;
  uint8_t type = 0;
  std::vector<uint8_t> payload;
  /// The request makes the UPS act (shutdown, cancel, test, schedule, mode).
  bool control = false;
  /// A confirmed mode request (0x95): the UPS now reports this mode.
  int new_mode_setting = -1;
  /// What the request asked for, for the log.
  std::string note;
};

/// The answer to one request frame.
BinaryReply AnswerRequest(const RequestFrame& request,
                          const BinaryContext& context);

/// The reply chain of `reply` (empty when it is not answered).
std::vector<uint8_t> ReplyBytes(const BinaryReply& reply);

/// The supported alarm bits, ascending.
std::vector<int> SupportedAlarmBits();

}  // namespace zep
