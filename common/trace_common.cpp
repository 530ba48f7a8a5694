#include "trace.h"

#include <cstdarg>

#include "text_format.h"

namespace zep {

void Trace(const std::string& text) { Trace(text.c_str()); }

void TraceFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  Trace(text.c_str());
}

}  // namespace zep
