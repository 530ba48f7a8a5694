// The trace channel: short diagnostic lines for a developer watching the
// service. On Windows they go to the debugger output (OutputDebugStringA, seen
// under Wine with WINEDEBUG=-all,+debugstr); elsewhere to standard error.
#pragma once

#include <string>

namespace zep {

/// Writes the text exactly as given (no line end is added).
void Trace(const char* text);
void Trace(const std::string& text);

/// Formats with a literal printf format and writes the result. The text is
/// built in a growing buffer, so nothing is cut. Never pass data as `format`.
void TraceFormat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace zep
