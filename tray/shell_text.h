// Cutting code page 932 text to the shell's limits. Message texts and the
// service's answers are code page 932 bytes; every character of that code
// page becomes one wide character, so a limit in wide characters is a
// limit in characters, and a cut must never fall between the two bytes of
// a double-byte character.
#pragma once

#include <cstddef>
#include <string>

namespace zep {

/// Limits of the notification icon's texts in wide characters, terminator
/// included.
constexpr size_t kTipLimit = 128;
constexpr size_t kBalloonTitleLimit = 64;
constexpr size_t kBalloonTextLimit = 256;

/// Whether `byte` opens a double-byte character of code page 932.
bool IsCp932LeadByte(unsigned char byte);

/// The longest prefix of `text` that holds at most `max_chars` whole
/// characters. A lead byte with no byte after it (a text cut short
/// elsewhere) is not a character and is left out.
std::string CutCp932(const std::string& text, size_t max_chars);

/// The longest prefix of `text` of at most `max_bytes` bytes that ends on a
/// character boundary (for the program's fixed text buffers).
std::string CutCp932Bytes(const std::string& text, size_t max_bytes);

}  // namespace zep
