#include "protocol/text_scan.h"

#include <climits>

namespace zep {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

size_t BoundedLength(const char* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != '\0') ++n;
  return n;
}

TextScanner::TextScanner(const char* text, size_t length)
    : text_(text), length_(BoundedLength(text, length)) {}

char TextScanner::Peek() const {
  return position_ < length_ ? text_[position_] : '\0';
}

void TextScanner::SkipBlanks() {
  while (position_ < length_ && IsBlank(text_[position_])) ++position_;
}

bool TextScanner::ReadInt(int* value, int width) {
  SkipBlanks();
  size_t limit = length_;
  if (width > 0 && position_ + static_cast<size_t>(width) < limit) {
    limit = position_ + static_cast<size_t>(width);
  }
  size_t p = position_;
  bool negative = false;
  if (p < limit && (text_[p] == '+' || text_[p] == '-')) {
    negative = text_[p] == '-';
    ++p;
  }
  if (p >= limit || text_[p] < '0' || text_[p] > '9') return false;
  long long magnitude = 0;
  while (p < limit && text_[p] >= '0' && text_[p] <= '9') {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1) {
      magnitude = magnitude * 10 + (text_[p] - '0');
    }
    ++p;
  }
  long long signed_value = negative ? -magnitude : magnitude;
  if (signed_value > INT_MAX) signed_value = INT_MAX;
  if (signed_value < INT_MIN) signed_value = INT_MIN;
  *value = static_cast<int>(signed_value);
  position_ = p;
  return true;
}

bool TextScanner::ReadHex(unsigned* value) {
  SkipBlanks();
  size_t p = position_;
  bool negative = false;
  if (p < length_ && (text_[p] == '+' || text_[p] == '-')) {
    negative = text_[p] == '-';
    ++p;
  }
  if (p + 1 < length_ && text_[p] == '0' &&
      (text_[p + 1] == 'x' || text_[p + 1] == 'X') && p + 2 < length_ &&
      HexDigit(text_[p + 2]) >= 0) {
    p += 2;
  }
  if (p >= length_ || HexDigit(text_[p]) < 0) return false;
  unsigned long long result = 0;
  while (p < length_ && HexDigit(text_[p]) >= 0) {
    if (result <= UINT_MAX) result = result * 16 + HexDigit(text_[p]);
    ++p;
  }
  if (result > UINT_MAX) result = UINT_MAX;
  unsigned out = static_cast<unsigned>(result);
  *value = negative ? 0u - out : out;
  position_ = p;
  return true;
}

bool TextScanner::ReadChar(char* value) {
  if (position_ >= length_) return false;
  *value = text_[position_++];
  return true;
}

bool TextScanner::Literal(char expected) {
  if (position_ >= length_ || text_[position_] != expected) return false;
  ++position_;
  return true;
}

}  // namespace zep
