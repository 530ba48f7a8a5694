#include "nut/nut_words.h"

#include <cstring>

namespace zep {
namespace {

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r'; }

bool IsPrintable(unsigned char c) { return c >= 0x20 && c <= 0x7E; }

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

NutLineStatus SplitNutLine(const char* line, size_t length,
                           std::vector<std::string>* words) {
  words->clear();
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (!IsPrintable(c) && c != '\t' && c != '\r') {
      return NutLineStatus::kBadCharacter;
    }
  }
  size_t i = 0;
  while (i < length) {
    if (IsSeparator(line[i])) {
      ++i;
      continue;
    }
    if (line[i] == '#') break;  // a comment to the end of the line
    if (words->size() == kNutMaxWords) {
      words->clear();
      return NutLineStatus::kTooManyWords;
    }
    std::string word;
    bool quoted = false;
    // A word runs to the next separator outside quotes; quotes may open and
    // close inside it, as in the protocol's own reader.
    for (; i < length; ++i) {
      const char c = line[i];
      if (c == '\\') {
        if (++i == length) {
          words->clear();
          return NutLineStatus::kBadQuoting;
        }
        word += line[i];
      } else if (c == '"') {
        quoted = !quoted;
      } else if (quoted && c == '#') {
        words->clear();
        return NutLineStatus::kBadQuoting;
      } else if (!quoted && (IsSeparator(c) || c == '#')) {
        break;
      } else {
        word += c;
      }
    }
    if (quoted) {
      words->clear();
      return NutLineStatus::kBadQuoting;
    }
    words->push_back(word);
  }
  return NutLineStatus::kWords;
}

bool SameNutWord(const std::string& a, const char* b) {
  const size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

bool IsNutNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

}  // namespace zep
