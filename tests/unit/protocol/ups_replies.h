// Hand-built binary replies that give the translator tests a UPS with known
// values: a model of 12 characters, firmware 02.03, 1500 VA, 1200 W,
// 100 V, 50 Hz, limits 10 % and 105 %, and ten measurements:
//   24 apparent power   0xE0  1240        -> "QQ" 1240 / 100 + 0.5 = 12
//   28 output frequency float 50.0        -> "QQ" 500
//   29 input frequency  0xF1  101 -> 10100 >> 1 = 5050 hundredths = 50.5
//   34 battery voltage  float 27.25       -> "Q1" 27.2, "QQ" 272
//   35 battery capacity 0xE0  95
//   36                  0xE0  40
//   48 load             0xE0  37
//   57 input voltage    float 230.5
//   63 temperature      0xF2  103 -> 10300 >> 2 = 2575 hundredths = 25.75
//   79 output voltage   float 100.0
// and six supported alarm bits: 6, 8, 25, 57, 149 and 181.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"

namespace zep {
namespace testing_replies {

using Bytes = std::vector<uint8_t>;

inline ReplyAssembly Payload(const Bytes& bytes) {
  ReplyAssembly reply;
  reply.count = static_cast<int32_t>(bytes.size());
  if (!bytes.empty()) std::memcpy(reply.bytes, bytes.data(), bytes.size());
  return reply;
}

inline Bytes IdentificationPayload() {
  Bytes p = {2, 0x01, 0x00, 0x03, 0x02, 0x00, 0x1E, 0x00, 0x00, 0x00, 13};
  const std::string model = "ZPX-A1500JC2 ";
  for (char c : model) p.push_back(static_cast<uint8_t>(c));
  Bytes types(79, 0);
  types[23] = 0xE0;
  types[27] = 0x10;
  types[28] = 0xF1;
  types[33] = 0x10;
  types[34] = 0xE0;
  types[35] = 0xE0;
  types[47] = 0xE0;
  types[56] = 0x10;
  types[62] = 0xF2;
  types[78] = 0x10;
  p.push_back(79);
  p.insert(p.end(), types.begin(), types.end());
  // Bits 6 (byte 0), 8 (byte 1), 25 (byte 3), 57 (byte 7), 149 (byte 18,
  // bit 5) and 181 (byte 22, bit 5).
  Bytes presence(23, 0);
  presence[0] = 0x40;
  presence[1] = 0x01;
  presence[3] = 0x02;
  presence[7] = 0x02;
  presence[18] = 0x20;
  presence[22] = 0x20;
  p.push_back(23);
  p.insert(p.end(), presence.begin(), presence.end());
  return p;
}

/// Measurement values; `frequency_raw` is the raw word of measurement 29.
inline Bytes MeasurementPayload(uint8_t frequency_raw = 101) {
  return {
      0xD8,          0x04, 0x00, 0x00,  // 24: 1240
      0x00,          0x00, 0x48, 0x42,  // 28: 50.0f = 0x42480000
      frequency_raw, 0x00, 0x00, 0x00,  // 29
      0x00,          0x00, 0xDA, 0x41,  // 34: 27.25f = 0x41DA0000
      0x5F,          0x00, 0x00, 0x00,  // 35: 95
      0x28,          0x00, 0x00, 0x00,  // 36: 40
      0x25,          0x00, 0x00, 0x00,  // 48: 37
      0x00,          0x80, 0x66, 0x43,  // 57: 230.5f = 0x43668000
      0x67,          0x00, 0x00, 0x00,  // 63: 103
      0x00,          0x00, 0xC8, 0x42,  // 79: 100.0f = 0x42C80000
  };
}

/// Ratings: 100 V, aux_rating `aux`.
inline Bytes RatingsPayload(uint8_t aux_low = 0, uint8_t aux_high = 0) {
  Bytes p(80, 0);
  p[8] = 100;
  p[10] = aux_low;
  p[11] = aux_high;
  return p;
}

/// Limits: base 200, 50 Hz, 24 x 50 = 1200 W, tolerance 300 (3 Hz), setting
/// 0, limits 20 and 210 (10 % and 105 %).
inline Bytes LimitsPayload() {
  Bytes p(22, 0);
  p[0] = 200;
  p[2] = 50;
  p[4] = 24;
  p[8] = 0x2C;
  p[9] = 0x01;
  p[18] = 20;
  p[20] = 210;
  return p;
}

/// Alarm values of bits 6, 8, 25, 57, 149 and 181, in that order.
inline Bytes AlarmPayload(uint8_t bit6, uint8_t bit8, uint8_t bit25,
                          uint8_t bit57, uint8_t bit149, uint8_t bit181) {
  return {bit6, bit8, bit25, bit57, bit149, bit181};
}

/// A binary UPS in normal operation: flags 0x07, no alarm, no test, no
/// groups.
inline void FillNormalUps(UpsState& state) {
  ResetUpsState(state);
  state.protocol_mode = 1;
  ParseIdentification(state, Payload(IdentificationPayload()));
  ParseRatingsAndTexts(state, Payload(RatingsPayload()));
  ParseFlags(state, Payload({0x00, 0x07}));
  ParseLimits(state, Payload(LimitsPayload()));
  ParseMeasurements(state, Payload(MeasurementPayload()));
  ParseAlarmValues(state, Payload(AlarmPayload(0, 0, 0, 0, 0, 0)));
  ParseTestState(state, Payload({0, 0}));
  ParseGroups(state, Payload({0, 2}));
}

}  // namespace testing_replies
}  // namespace zep
