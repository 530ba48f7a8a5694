#include "service_reply.h"

#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"

namespace zep {

ServiceReading ReadAsService(const uint8_t* bytes, size_t count) {
  UpsState state;
  ReplyAssembly reply;
  ServiceReading reading;
  reading.joined = JoinReply(state, reply, bytes, count);
  reading.payload.assign(reply.bytes, reply.bytes + reply.count);
  reading.protocol_mode = state.protocol_mode.load(std::memory_order_relaxed);
  if (reading.joined == 1) {
    reading.dispatched = DispatchReply(state, reply, bytes, count);
  }
  return reading;
}

size_t ServiceAssemblySize() { return kReplyAssemblySize; }

}  // namespace zep
