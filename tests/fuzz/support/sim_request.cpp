#include "sim_request.h"

#include "binary_frames.h"
#include "binary_replies.h"
#include "sim_state.h"
#include "ups_models.h"

namespace zep {

SimReading ReadAsSimulator(const uint8_t* bytes, size_t count) {
  SimReading reading;
  std::vector<uint8_t> pending(bytes, bytes + count);
  RequestFrame frame;
  size_t skipped = 0;
  if (TakeRequestFrame(&pending, &frame, &skipped) != FrameScan::kFrame) {
    return reading;
  }
  reading.frame = true;
  reading.id = frame.id;
  reading.data = frame.data;
  reading.probe = frame.probe;
  reading.left = pending.size();

  BinaryContext context;
  context.model = &DefaultModel(SimProtocol::kBinary);
  context.readings = ReadingsFor(*context.model, SimState::kNormal);
  BinaryReply reply = AnswerRequest(frame, context);
  reading.answered = reply.answered;
  reading.control_accepted =
      reply.control && !reply.payload.empty() && reply.payload[0] == '1';
  return reading;
}

}  // namespace zep
