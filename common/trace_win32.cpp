#include "trace.h"

#include <windows.h>

namespace zep {

void Trace(const char* text) {
  if (text == nullptr) return;
  OutputDebugStringA(text);
}

}  // namespace zep
