// The words of one request line of the NUT network protocol, split the way
// the protocol's own server reads them: blanks, tabs and CR separate words;
// a double-quoted word may hold blanks; a backslash takes the next
// character literally; "#" outside quotes starts a comment. Only printable
// ASCII is taken.
#pragma once

#include <string>
#include <vector>

namespace zep {

/// The longest request line taken, without its line feed (the clients'
/// own line buffers hold 512 bytes).
constexpr size_t kNutMaxLineLength = 511;
/// The most words a request may have.
constexpr size_t kNutMaxWords = 32;

enum class NutLineStatus {
  kWords,         ///< The words are in the vector (none for an empty line).
  kBadCharacter,  ///< A byte outside printable ASCII (tab and CR aside).
  kBadQuoting,    ///< An open quote, a "#" inside quotes, or a backslash
                  ///< at the end of the line.
  kTooManyWords,  ///< More than kNutMaxWords words.
};

/// Splits `length` bytes of `line` (its line feed already taken off) into
/// `*words`. Only a kWords result leaves words behind.
NutLineStatus SplitNutLine(const char* line, size_t length,
                           std::vector<std::string>* words);

/// Whether two words are the same without regard to case, in plain ASCII:
/// commands, UPS names and variable names are all compared so.
bool SameNutWord(const std::string& a, const char* b);

/// Whether `c` may stand in a UPS or variable name: letters, digits, ".",
/// "_" and "-", nothing that could change the form of a reply.
bool IsNutNameCharacter(char c);

}  // namespace zep
