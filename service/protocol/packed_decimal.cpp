#include "protocol/packed_decimal.h"

#include <cmath>

namespace zep {
namespace {

// Bits of the scale nibble (the high nibble of the first byte).
constexpr uint8_t kSignBit = 0x8;
constexpr uint8_t kDivideBit = 0x4;
constexpr uint8_t kPowerMask = 0x3;

constexpr uint32_t kMaxDigits = 99999;
constexpr double kPowers[4] = {1.0, 10.0, 100.0, 1000.0};

// Rounds a non-negative magnitude half up.
double RoundHalfUp(double magnitude) { return std::floor(magnitude + 0.5); }

}  // namespace

void EncodePackedDecimal(double x, uint8_t out[kPackedDecimalSize]) {
  double magnitude = std::isnan(x) ? 0.0 : std::fabs(x);
  double r = RoundHalfUp(magnitude);
  uint8_t scale = 0;
  double digits = 0.0;
  if (r <= 99.0) {
    scale = kDivideBit | 3;
    digits = RoundHalfUp(magnitude * 1000.0);
  } else if (r <= 999.0) {
    scale = kDivideBit | 2;
    digits = RoundHalfUp(magnitude * 100.0);
  } else if (r <= 9999.0) {
    scale = kDivideBit | 1;
    digits = RoundHalfUp(magnitude * 10.0);
  } else if (r <= 99999.0) {
    scale = 0;
    digits = r;
  } else {
    // The multiply form: the smallest power that brings the digits into
    // range, saturating at the largest power.
    scale = 3;
    digits = kMaxDigits;
    for (uint8_t power = 1; power <= 3; ++power) {
      double scaled = RoundHalfUp(magnitude / kPowers[power]);
      if (scaled <= kMaxDigits) {
        scale = power;
        digits = scaled;
        break;
      }
    }
  }
  // The ranges above keep the digits within five places; the clamp only
  // guards the conversion.
  uint32_t d = digits > kMaxDigits ? kMaxDigits : static_cast<uint32_t>(digits);
  if (x < 0) scale |= kSignBit;
  out[0] = static_cast<uint8_t>((scale << 4) | (d / 10000));
  out[1] = static_cast<uint8_t>(((d / 1000 % 10) << 4) | (d / 100 % 10));
  out[2] = static_cast<uint8_t>(((d / 10 % 10) << 4) | (d % 10));
}

double DecodePackedDecimal(const uint8_t bytes[kPackedDecimalSize]) {
  uint8_t scale = bytes[0] >> 4;
  uint32_t digits = (bytes[0] & 0x0Fu) * 10000u + (bytes[1] >> 4) * 1000u +
                    (bytes[1] & 0x0Fu) * 100u + (bytes[2] >> 4) * 10u +
                    (bytes[2] & 0x0Fu);
  double power = kPowers[scale & kPowerMask];
  double value = (scale & kDivideBit) != 0 ? digits / power : digits * power;
  return (scale & kSignBit) != 0 ? -value : value;
}

void EncodeTaggedValue(uint8_t tag, double x, uint8_t out[kTaggedValueSize]) {
  out[0] = tag;
  EncodePackedDecimal(x, out + 1);
}

}  // namespace zep
