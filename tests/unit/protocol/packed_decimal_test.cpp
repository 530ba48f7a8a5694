#include "protocol/packed_decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zep {
namespace {

struct Packed {
  double x;
  uint8_t bytes[3];
};

// Scale nibble: bit 7 sign, bit 6 divide, bits 5-4 the power of ten. The
// digits are BCD, ten-thousands in the low nibble of the first byte.
TEST(PackedDecimalTest, EncodesWorkedExamples) {
  const Packed cases[] = {
      // r = 13 <= 99: scale 7 (divide by 1000), digits 12500.
      {12.5, {0x71, 0x25, 0x00}},
      // r = 230: scale 6 (divide by 100), digits 23000.
      {230.0, {0x62, 0x30, 0x00}},
      // Sign + scale 7 = 0xF, digits 01000.
      {-1.0, {0xF0, 0x10, 0x00}},
      // Scale 7, digits 49900.
      {49.9, {0x74, 0x99, 0x00}},
      // r = 100 (99.5 rounds up): scale 6, digits 09950.
      {99.5, {0x60, 0x99, 0x50}},
      // r = 1235: scale 5 (divide by 10), 12345.6 rounds to 12346.
      {1234.56, {0x51, 0x23, 0x46}},
      // Scale 0 (multiply by 1), digits 99999.
      {99999.0, {0x09, 0x99, 0x99}},
      {0.0, {0x70, 0x00, 0x00}},
  };
  for (const Packed& c : cases) {
    uint8_t out[3] = {0xAA, 0xAA, 0xAA};
    EncodePackedDecimal(c.x, out);
    EXPECT_EQ(c.bytes[0], out[0]) << c.x;
    EXPECT_EQ(c.bytes[1], out[1]) << c.x;
    EXPECT_EQ(c.bytes[2], out[2]) << c.x;
  }
}

TEST(PackedDecimalTest, LargeMagnitudesUseTheMultiplyForm) {
  const Packed cases[] = {
      // 100000 / 10 = 10000 fits: scale 1 (multiply by 10).
      {100000.0, {0x11, 0x00, 0x00}},
      // 99999.5 rounds to r = 100000; / 10 = 9999.95 rounds to 10000.
      {99999.5, {0x11, 0x00, 0x00}},
      // / 10 = 99999.5 rounds to 100000, too many digits; / 100 = 9999.95
      // rounds to 10000: scale 2.
      {999995.0, {0x21, 0x00, 0x00}},
      // Sign + multiply by 10 = 0x9, digits 25000.
      {-250000.0, {0x92, 0x50, 0x00}},
      // / 1000 = 123456.789 is still too long: saturates at 99999 x 1000.
      {123456789.0, {0x39, 0x99, 0x99}},
      {std::numeric_limits<double>::infinity(), {0x39, 0x99, 0x99}},
      {-std::numeric_limits<double>::infinity(), {0xB9, 0x99, 0x99}},
      // Not a number is sent as 0.
      {std::nan(""), {0x70, 0x00, 0x00}},
  };
  for (const Packed& c : cases) {
    uint8_t out[3];
    EncodePackedDecimal(c.x, out);
    EXPECT_EQ(c.bytes[0], out[0]) << c.x;
    EXPECT_EQ(c.bytes[1], out[1]) << c.x;
    EXPECT_EQ(c.bytes[2], out[2]) << c.x;
  }
}

TEST(PackedDecimalTest, DecodesBothForms) {
  const Packed cases[] = {
      {12.5, {0x71, 0x25, 0x00}},
      {-1.0, {0xF0, 0x10, 0x00}},
      // Scale 0: 7 x 1.
      {7.0, {0x00, 0x00, 0x07}},
      // Scale 4: divide by 1 (power 0).
      {50001.0, {0x45, 0x00, 0x01}},
      // Multiply forms: 10000 x 10, 12345 x 100, 99999 x 1000.
      {100000.0, {0x11, 0x00, 0x00}},
      {1234500.0, {0x21, 0x23, 0x45}},
      {99999000.0, {0x39, 0x99, 0x99}},
      // Sign + multiply by 100: -(25 x 100).
      {-2500.0, {0xA0, 0x00, 0x25}},
      // Nibbles above 9 weigh as they are: 15 x (10000 + 1000 + 100 + 10
      // + 1) = 166665, divided by 1000.
      {166.665, {0x7F, 0xFF, 0xFF}},
  };
  for (const Packed& c : cases) {
    EXPECT_DOUBLE_EQ(c.x, DecodePackedDecimal(c.bytes));
  }
}

TEST(PackedDecimalTest, RoundTripKeepsFiveSignificantDigits) {
  const double values[] = {0.001, 0.5,     13.6,     51.5,      99.499,
                           230.5, 999.49,  1350.0,   9999.4,    65535.0,
                           -49.9, -2305.0, 314159.0, 12345678.0};
  for (double x : values) {
    uint8_t out[3];
    EncodePackedDecimal(x, out);
    double back = DecodePackedDecimal(out);
    // Five digits: the error is at most half a unit of the fifth digit.
    EXPECT_NEAR(x, back, std::fabs(x) * 1e-4 + 5e-4) << x;
  }
}

TEST(PackedDecimalTest, TaggedValuePutsTheTagFirst) {
  uint8_t out[4];
  EncodeTaggedValue(192, 230.0, out);
  EXPECT_EQ(0xC0, out[0]);
  EXPECT_EQ(0x62, out[1]);
  EXPECT_EQ(0x30, out[2]);
  EXPECT_EQ(0x00, out[3]);
}

}  // namespace
}  // namespace zep
