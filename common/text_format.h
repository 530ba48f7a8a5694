// Safe text building: printf-style formatting into a std::string that grows
// as needed, and bounded copies into the fixed-size fields of the formats.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace zep {

/// printf into a new string; the format must be a literal of the program.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
std::string FormatTextV(const char* format, va_list args);

/// Copies at most size-1 characters of `src` (null counts as empty) into
/// `dst` and always terminates it. Returns the number of characters copied.
size_t CopyText(char* dst, size_t size, const char* src);

/// Formats into a fixed field of `size` bytes (terminator included), cutting
/// the text at the field's end. Returns the length written.
size_t FormatFixed(char* dst, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

}  // namespace zep
