#include "protocol/answer_fields.h"

#include <climits>
#include <cstring>

namespace zep {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// Digits beyond this magnitude no longer change a held result.
constexpr long long kHoldAbove = static_cast<long long>(INT_MAX) + 1;

// ReadTenths over the first `length` characters of `text` (or up to its
// NUL). The number is read exactly in decimal, so a text such as "049.9"
// gives 499 without any binary rounding on the way.
int ReadTenthsSpan(const char* text, size_t length, int* value) {
  size_t end = 0;
  while (end < length && text[end] != '\0') ++end;
  bool tenths = std::memchr(text, '.', end) != nullptr;

  size_t p = 0;
  while (p < end && IsBlank(text[p])) ++p;
  bool negative = false;
  if (p < end && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  long long whole = 0;
  bool any_digit = false;
  while (p < end && IsDigit(text[p])) {
    if (whole <= kHoldAbove) whole = whole * 10 + (text[p] - '0');
    any_digit = true;
    ++p;
  }
  int first_decimal = 0;
  int second_decimal = 0;
  if (p < end && text[p] == '.') {
    ++p;
    if (p < end && IsDigit(text[p])) {
      first_decimal = text[p++] - '0';
      any_digit = true;
      if (p < end && IsDigit(text[p])) second_decimal = text[p] - '0';
    }
  }
  if (!any_digit) return 0;

  // Round the magnitude half up, then apply the sign: halves go away from
  // zero on both sides, so "-1.5" is -15 and not -14.
  // Without a point in the text the number has no decimals to round.
  long long magnitude =
      tenths ? whole * 10 + first_decimal + (second_decimal >= 5 ? 1 : 0)
             : whole;
  long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX) result = INT_MAX;
  if (result < INT_MIN) result = INT_MIN;
  *value = static_cast<int>(result);
  return 1;
}

}  // namespace

int ReadTenths(const char* text, int* value) {
  if (text == nullptr || value == nullptr) return 0;
  return ReadTenthsSpan(text, std::strlen(text), value);
}

int ReadField(int* out, const char* text) {
  if (text == nullptr) return 0;
  int spaces = 0;
  while (text[spaces] == ' ') ++spaces;
  const char* field = text + spaces;
  const char* space = std::strchr(field, ' ');
  if (space == nullptr) return spaces;
  int field_length = static_cast<int>(space - field);
  int value = 0;
  if (ReadTenthsSpan(field, static_cast<size_t>(field_length), &value) == 1 &&
      value >= 0 && out != nullptr) {
    *out = value;
  }
  return spaces + field_length + 1;
}

int CutModelText(char* out, size_t out_size, const char* text,
                 bool binary_ups) {
  if (text == nullptr) text = "";
  size_t length = std::strlen(text);
  size_t end = length;
  const char* marker = binary_ups ? kBinaryModelMarker : kAsciiModelMarker;
  const char* match = std::strstr(text, marker);
  if (match != nullptr) {
    size_t p = static_cast<size_t>(match - text) + 5;
    if (p > length) p = length;
    while (p < length && IsDigit(text[p])) ++p;
    if (binary_ups) {
      ++p;  // The character after the digits is stepped over as well.
      if (p < length && text[p] == 'C') {
        end = p + 1;
      } else if (p < length && text[p] == 'R') {
        end = p + 2;
        if (end < length && text[end] == '/') {
          ++end;
          while (end < length && IsDigit(text[end])) ++end;
        }
      }
    } else if (p < length) {
      if (text[p] == 'A' || text[p] == 'R') {
        end = p + 3;
      } else if (text[p] == 'J') {
        end = p + 2;
      }
    }
    // A model part reaching past the text ends with the text.
    if (end > length) end = length;
  }

  if (out != nullptr && out_size > 0) {
    // End the copy before the last run of spaces of the model part.
    size_t keep = end;
    while (keep > 0 && text[keep - 1] != ' ') --keep;
    if (keep == 0) {
      keep = end;  // No space at all: nothing to cut.
    } else {
      while (keep > 0 && text[keep - 1] == ' ') --keep;
    }
    if (keep > out_size - 1) keep = out_size - 1;
    std::memcpy(out, text, keep);
    out[keep] = '\0';
  }
  return static_cast<int>(end);
}

int CopyFixed(char* out, size_t out_size, const char* text, bool long_form) {
  int width = long_form ? 7 : 3;
  if (out == nullptr || out_size == 0) return width;
  size_t n = 0;
  if (text != nullptr) {
    while (n < static_cast<size_t>(width) && n + 1 < out_size &&
           text[n] != '\0') {
      out[n] = text[n];
      ++n;
    }
  }
  out[n] = '\0';
  while (n > 1 && out[n - 1] == ' ') out[--n] = '\0';
  return width;
}

int CopyRatingRecord(char* out, size_t out_size, const char* in) {
  constexpr size_t kRecordBytes = 5;
  if (out == nullptr || out_size == 0) return static_cast<int>(kRecordBytes);
  size_t n = out_size - 1 < kRecordBytes ? out_size - 1 : kRecordBytes;
  if (in != nullptr) {
    std::memcpy(out, in, n);
  } else {
    n = 0;
  }
  out[n] = '\0';
  return static_cast<int>(kRecordBytes);
}

int ReadThreeDigits(int* out, const char* text) {
  constexpr int kWidth = 3;
  if (out == nullptr || text == nullptr) return kWidth;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  const char* limit = p;
  while (limit - p < kWidth && *limit != '\0') ++limit;
  bool negative = false;
  if (p < limit && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p >= limit || !IsDigit(*p)) return kWidth;
  int value = 0;
  while (p < limit && IsDigit(*p)) value = value * 10 + (*p++ - '0');
  *out = negative ? -value : value;
  return kWidth;
}

}  // namespace zep
