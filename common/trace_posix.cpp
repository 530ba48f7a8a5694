#include "trace.h"

#include <unistd.h>

#include <cstring>

namespace zep {

void Trace(const char* text) {
  if (text == nullptr) return;
  // One write per line keeps lines of different threads from interleaving.
  size_t left = std::strlen(text);
  while (left > 0) {
    ssize_t n = write(STDERR_FILENO, text, left);
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace zep
