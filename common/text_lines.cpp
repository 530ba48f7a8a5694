#include "text_lines.h"

#include <cerrno>
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
  open_error_.clear();
  if (path == nullptr || path[0] == '\0') {
    open_error_ = "no file name";
    return false;
  }
  if (std::strlen(path) > kMaxPathLength) {
    open_error_ = "the path is longer than 259 characters";
    return false;
  }
  errno = 0;
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) {
    open_error_ = errno != 0 ? std::strerror(errno) : "cannot be opened";
  }
  return file_ != nullptr;
}

int TextLineReader::NextChar() {
  if (file_ == nullptr || at_end_) return EOF;
  int c = std::getc(file_);
  if (c == EOF || c == kCtrlZ) {
    at_end_ = true;
    return EOF;
  }
  if (c == '\r') {
    int next = std::getc(file_);
    if (next == '\n') {
      c = '\n';
    } else if (next != EOF) {
      std::ungetc(next, file_);
    }
  }
  return c;
}

bool TextLineReader::ReadPiece(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return false;
  size_t n = 0;
  while (n + 1 < size) {
    int c = NextChar();
    if (c == EOF) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return n > 0;
}

bool TextLineReader::ReadLine(char* buffer, size_t size, bool* cut) {
  if (cut != nullptr) *cut = false;
  if (!ReadPiece(buffer, size)) return false;
  const size_t n = std::strlen(buffer);
  if (n == 0 || buffer[n - 1] == '\n') return true;
  int c = NextChar();
  if (c == EOF || c == '\n') return true;  // it fitted
  if (cut != nullptr) *cut = true;
  while (c != EOF && c != '\n') c = NextChar();
  return true;
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
