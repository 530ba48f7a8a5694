// Small text helpers with which the monitor takes the ASCII answers of the
// UPS (or of the translator) apart: numeric fields of the measurement
// answers, the model part of the identification answers and fixed-width
// fields. They hold no state, never read past a text's NUL and never write
// past the sizes they are given.
#pragma once

#include <cstddef>

namespace zep {

/// The three-letter model-family marker of a binary UPS's model text. The
/// simulator's binary UPS names its models with it too.
constexpr char kBinaryModelMarker[] = "ZPX";
/// The model-family marker of an ASCII UPS's model text.
constexpr char kAsciiModelMarker[] = "T-PWR";

/// Reads a decimal number (blanks, an optional sign, digits with an
/// optional point) from the start of `text`. When the text holds a "."
/// anywhere the number is taken in tenths (x 10); the result is rounded
/// half away from zero, so "230.5" gives 2305, "50" gives 50, "12.0" gives
/// 120 and "-1.5" gives -15. Results beyond the int range are held at its
/// ends. Returns 1 and stores the result in `*value`; returns 0 and leaves
/// `*value` unchanged when the text does not start with a number.
int ReadTenths(const char* text, int* value);

/// Reads one space-separated field: skips leading spaces, takes the text up
/// to the next space as the field, reads it with ReadTenths and stores the
/// result in `*out` unless it is negative or not a number (then `*out`
/// keeps its value). Returns the leading spaces + the field length + 1 (the
/// space). When no space follows the field nothing is read and only the
/// leading spaces are counted, so the last field of a text is never read
/// this way. The text itself is not changed.
int ReadField(int* out, const char* text);

/// The length of the model part of an identification answer text, and,
/// when `out` is given, a copy of that part in `out` (`out_size` bytes,
/// terminator included).
///
/// Binary UPS (`binary_ups`): find kBinaryModelMarker; from 5 characters
/// after the start of the match step over digits and one more character;
/// by the character c after that: "C" ends the part after c, "R" ends it 2
/// characters after c and after a "/" with digits that may follow there;
/// anything else (or no marker) keeps the whole text.
/// ASCII UPS: find kAsciiModelMarker; after it step over digits; by the
/// character c there: "A" or "R" ends the part 3 characters after c's
/// position, "J" 2 characters after it; anything else keeps the whole text.
///
/// The copy then ends before the last run of spaces in the part (the last
/// space and the spaces directly before it), and is cut to fit `out`.
int CutModelText(char* out, size_t out_size, const char* text, bool binary_ups);

/// Copies 7 characters (`long_form`) or 3 of `text`, stopping early at its
/// NUL and at the size of `out`, terminates the copy and drops its trailing
/// spaces (never the first character). Returns 7 or 3.
int CopyFixed(char* out, size_t out_size, const char* text, bool long_form);

/// Copies the 5 bytes of a rating record (a 4-byte value and one byte) from
/// `in`, which must hold 5 readable bytes, and writes a NUL after them.
/// `out` needs 6 bytes; a smaller `out` takes what fits and its NUL.
/// Returns 5.
int CopyRatingRecord(char* out, size_t out_size, const char* in);

/// Reads a number of at most three characters ("%03d": blanks, then a sign
/// and digits within the three) into `*out` when `out` is given and a
/// number is there; `*out` is left unchanged otherwise. Returns 3.
int ReadThreeDigits(int* out, const char* text);

}  // namespace zep
