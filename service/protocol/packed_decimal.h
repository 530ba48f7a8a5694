// The 4-byte tagged value carried by the value datagrams: a tag byte and a
// packed decimal of three bytes. The packed decimal holds a scale nibble
// (sign, divide-or-multiply, power of ten 0..3) and five BCD digits, most
// significant first.
#pragma once

#include <cstdint>

namespace zep {

/// Bytes of one packed decimal (the tag is not counted).
constexpr int kPackedDecimalSize = 3;
/// Bytes of one tagged value: the tag and the packed decimal.
constexpr int kTaggedValueSize = 4;

/// Packs `x` into out[0..2].
///
/// With r = |x| rounded half up: r <= 99 gives scale 7 (divide by 1000) and
/// the digits |x| x 1000 rounded; 100..999 scale 6 (divide by 100);
/// 1000..9999 scale 5 (divide by 10); 10000..99999 scale 0 and the digits r.
/// The sign bit is added for negative x.
///
/// Magnitudes of 100000 and more use the multiply form: the smallest power
/// of 10, 100 or 1000 for which |x| / power, rounded half up, fits in five
/// digits. Beyond 99999 x 1000 the value saturates at 99999 x 1000 (so
/// 123456789 is sent as 99999000), which keeps the sign and the order of
/// magnitude instead of wrapping the digits. A NaN is sent as 0.
void EncodePackedDecimal(double x, uint8_t out[kPackedDecimalSize]);

/// Reads the three bytes: the five digits as a decimal number, divided or
/// multiplied by the power of ten of the scale nibble, negated when the sign
/// bit is set. Nibbles above 9 are weighted as they are (no byte beyond the
/// three is ever read, and no input makes the result undefined).
double DecodePackedDecimal(const uint8_t bytes[kPackedDecimalSize]);

/// Writes the tag and the packed decimal of `x` into out[0..3].
void EncodeTaggedValue(uint8_t tag, double x, uint8_t out[kTaggedValueSize]);

}  // namespace zep
