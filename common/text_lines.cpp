#include "text_lines.h"

#include <climits>
#include <cstring>

namespace zep {
namespace {

// The end-of-file mark of text mode on Windows.
constexpr int kCtrlZ = 0x1A;

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

}  // namespace

TextLineReader::~TextLineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TextLineReader::Open(const char* path) {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  at_end_ = false;
  if (path == nullptr || path[0] == '\0') return false;
  if (std::strlen(path) > kMaxPathLength) return false;
  file_ = std::fopen(path, "rb");
  return file_ != nullptr;
}

bool TextLineReader::ReadPiece(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  size_t n = 0;
  while (file_ != nullptr && !at_end_ && n + 1 < size) {
    int c = std::getc(file_);
    if (c == EOF || c == kCtrlZ) {
      at_end_ = true;
      break;
    }
    if (c == '\r') {
      int next = std::getc(file_);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file_);
      }
    }
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return n > 0;
}

bool ParseLeadingDecimal(const char* text, int* value) {
  if (text == nullptr) return false;
  const char* p = text;
  while (IsWhiteSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  if (*p < '0' || *p > '9') return false;
  // The magnitude stops growing once it is past the range of int, so a long
  // run of digits cannot overflow; the result is then held at the limit.
  long long magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1) {
      magnitude = magnitude * 10 + (*p - '0');
    }
  }
  long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX) result = INT_MAX;
  if (result < INT_MIN) result = INT_MIN;
  if (value != nullptr) *value = static_cast<int>(result);
  return true;
}

}  // namespace zep
