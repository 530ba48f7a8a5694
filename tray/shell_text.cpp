#include "shell_text.h"

namespace zep {

bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

namespace {

// Walks whole characters while both limits allow; the byte length walked.
size_t WholeCharacters(const std::string& text, size_t max_chars,
                       size_t max_bytes) {
  size_t at = 0;
  size_t chars = 0;
  while (at < text.size() && chars < max_chars) {
    size_t width =
        IsCp932LeadByte(static_cast<unsigned char>(text[at])) ? 2 : 1;
    if (at + width > text.size() || at + width > max_bytes) break;
    at += width;
    ++chars;
  }
  return at;
}

}  // namespace

std::string CutCp932(const std::string& text, size_t max_chars) {
  return text.substr(0, WholeCharacters(text, max_chars, text.size()));
}

std::string CutCp932Bytes(const std::string& text, size_t max_bytes) {
  return text.substr(0, WholeCharacters(text, text.size(), max_bytes));
}

}  // namespace zep
