// A bounded reader for the short command texts of the UPS protocols, with
// the field rules of the C scanf family ("%d" skips blanks, takes a sign and
// digits up to a width; "%c" takes any one character) but without reading
// past the end of the text and without undefined results on huge numbers:
// values beyond the int range are held at its ends.
#pragma once

#include <cstddef>

namespace zep {

class TextScanner {
 public:
  /// Reads `text` up to `length` characters or its first NUL, whichever
  /// comes first.
  TextScanner(const char* text, size_t length);

  /// "%d" with an optional width (0 = no limit); false when no digit came.
  bool ReadInt(int* value, int width = 0);
  /// "%x": blanks, an optional sign and "0x", hexadecimal digits.
  bool ReadHex(unsigned* value);
  /// "%c": any one character; false at the end of the text.
  bool ReadChar(char* value);
  /// A literal character of a format; false (nothing taken) on a mismatch.
  bool Literal(char expected);

  /// The character at the reading position, NUL at the end.
  char Peek() const;
  size_t position() const { return position_; }

 private:
  void SkipBlanks();

  const char* text_;
  size_t length_;
  size_t position_ = 0;
};

/// Length of `text` up to its first NUL, at most `capacity`.
size_t BoundedLength(const char* text, size_t capacity);

}  // namespace zep
