#include "service_queries.h"

namespace zep {

int EndpointQueries::RequestText(int table, int identifier, int column,
                                 std::string* text) {
  char buffer[kFrameBufferSize];
  int length = zep::RequestText(buffer, endpoint_, table, identifier, column);
  if (length < 0) return -1;
  text->assign(buffer, static_cast<size_t>(length));
  return length;
}

int EndpointQueries::RequestFrame(uint8_t* buffer, int length,
                                  int timeout_ms) {
  return zep::RequestFrame(buffer, endpoint_, length, timeout_ms);
}

}  // namespace zep
