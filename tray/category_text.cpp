#include "category_text.h"

namespace zep {

std::string CategoryText(const MessageTables& tables, int category,
                         const char* default_text) {
  // GetMessage leaves the buffer as it was for a record with an empty text.
  char text[kMessageBufferSize] = {};
  GetMessage(tables, text, sizeof text, kKindCategory, category, 0,
             default_text);
  return text;
}

}  // namespace zep
