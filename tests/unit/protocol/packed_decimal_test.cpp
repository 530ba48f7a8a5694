#include "protocol/packed_decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zep {
namespace {

struct Packed {
  double x;
  uint8_t b0, b1, b2;
};

// Scale nibble: bit 7 sign, bit 6 divide, bits 5-4 the power of ten; then
// five BCD digits, ten-thousands in the low nibble of the first byte.
TEST(PackedDecimalTest, Encodes) {
  const double inf = std::numeric_limits<double>::infinity();
  const Packed cases[] = {
      {12.5, 0x71, 0x25, 0x00},     // r 13: scale 7 (/1000), 12500
      {230.0, 0x62, 0x30, 0x00},    // scale 6 (/100), 23000
      {-1.0, 0xF0, 0x10, 0x00},     // sign + scale 7, 01000
      {99.5, 0x60, 0x99, 0x50},     // r 100: scale 6, 09950
      {1234.56, 0x51, 0x23, 0x46},  // scale 5 (/10), 12345.6 -> 12346
      {99999.0, 0x09, 0x99, 0x99},  // scale 0 (x1)
      // Multiply form from r = 100000 on: the smallest power that fits.
      {100000.0, 0x11, 0x00, 0x00},     // 10000 x 10
      {99999.5, 0x11, 0x00, 0x00},      // r 100000; 9999.95 -> 10000 x 10
      {999995.0, 0x21, 0x00, 0x00},     // /10 rounds to 100000: 10000 x 100
      {-250000.0, 0x92, 0x50, 0x00},    // sign + x10, 25000
      {123456789.0, 0x39, 0x99, 0x99},  // saturates at 99999 x 1000
      {inf, 0x39, 0x99, 0x99},
      {-inf, 0xB9, 0x99, 0x99},
      {std::nan(""), 0x70, 0x00, 0x00},  // sent as 0
  };
  for (const Packed& c : cases) {
    uint8_t out[3];
    EncodePackedDecimal(c.x, out);
    EXPECT_EQ(c.b0, out[0]) << c.x;
    EXPECT_EQ(c.b1, out[1]) << c.x;
    EXPECT_EQ(c.b2, out[2]) << c.x;
  }
}

TEST(PackedDecimalTest, DecodesBothForms) {
  const Packed cases[] = {
      {12.5, 0x71, 0x25, 0x00},
      {-1.0, 0xF0, 0x10, 0x00},
      {7.0, 0x00, 0x00, 0x07},
      {50001.0, 0x45, 0x00, 0x01},  // /1
      {100000.0, 0x11, 0x00, 0x00},
      {1234500.0, 0x21, 0x23, 0x45},
      {99999000.0, 0x39, 0x99, 0x99},
      {-2500.0, 0xA0, 0x00, 0x25},
      // Nibbles above 9 weigh as they are: 15 x 11111 / 1000.
      {166.665, 0x7F, 0xFF, 0xFF},
  };
  for (const Packed& c : cases) {
    const uint8_t bytes[3] = {c.b0, c.b1, c.b2};
    EXPECT_DOUBLE_EQ(c.x, DecodePackedDecimal(bytes));
  }
}

}  // namespace
}  // namespace zep
