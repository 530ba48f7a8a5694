// Fuzz target: what the simulator reads from its line, in either protocol:
// text requests taken up to their CR and answered, or request frames taken
// off the front of what arrived and answered with reply chains. Every chain
// the simulated UPS writes must be one the service joins back into the same
// payload and hands to a parser.
//
// Input: a setting byte (bit 0: binary protocol; bit 1: controls refused;
// the rest picks the model), then the bytes of the line, delivered in two
// pieces split at the middle (requests may straddle the two reads).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binary_frames.h"
#include "binary_replies.h"
#include "fuzz_check.h"
#include "service_reply.h"
#include "sim_state.h"
#include "text_answers.h"
#include "ups_models.h"

namespace zep {
namespace {

constexpr int kMostRequests = 64;

const UpsModel& ModelFor(uint8_t setting, SimProtocol protocol) {
  const size_t pick = setting >> 2;
  size_t seen = 0;
  for (size_t i = 0; i < kUpsModelCount; ++i) {
    if (kUpsModels[i].protocol != protocol) continue;
    if (seen++ == pick % kUpsModelCount) return kUpsModels[i];
  }
  return DefaultModel(protocol);
}

void ServeText(std::string* pending, const TextContext& context,
               int* requests) {
  std::string request;
  while (*requests < kMostRequests) {
    const size_t before = pending->size();
    if (!TakeTextRequest(pending, &request)) break;
    ++*requests;
    Check(!request.empty() && request.back() == '\r',
          "a text request ends at its CR");
    Check(pending->size() + request.size() == before,
          "a request is taken off the front, nothing else");
    TextReply reply = AnswerTextCommand(request, context);
    Check(!reply.answer.empty() && reply.answer.back() == '\r',
          "every text answer ends in CR");
  }
}

void CheckChain(const BinaryReply& reply) {
  std::vector<uint8_t> chain = ReplyBytes(reply);
  if (!reply.answered) {
    Check(chain.empty(), "a request not answered gets no bytes");
    return;
  }
  Check(!reply.payload.empty(), "an answered request has a payload");
  ServiceReading reading = ReadAsService(chain.data(), chain.size());
  Check(reading.joined == 1 && reading.protocol_mode == 1,
        "the service joins every chain the simulator writes");
  if (reply.payload.size() <= ServiceAssemblySize()) {
    Check(reading.payload == reply.payload,
          "the service joins the payload the simulator meant");
  }
  Check(reading.dispatched != -1,
        "every reply type the simulator writes has a parser in the service");
}

void ServeFrames(std::vector<uint8_t>* pending, const BinaryContext& context,
                 int* requests) {
  while (*requests < kMostRequests) {
    const size_t before = pending->size();
    RequestFrame frame;
    size_t skipped = 0;
    FrameScan scan = TakeRequestFrame(pending, &frame, &skipped);
    if (scan == FrameScan::kNeedMore) {
      Check(pending->size() == before, "waiting for more consumes nothing");
      break;
    }
    ++*requests;
    if (scan == FrameScan::kSkipped) {
      Check(skipped > 0 && pending->size() + skipped == before,
            "dropped bytes are counted and taken off the front");
      continue;
    }
    Check(frame.raw.size() == frame.data.size() + 4 + (frame.probe ? 1 : 0),
          "a frame is start, N, ID, data and checksum (and a CR)");
    Check(pending->size() + frame.raw.size() == before,
          "a frame is taken off the front, nothing else");
    unsigned sum = 0;
    for (size_t i = 0; i < frame.data.size() + 4; ++i) sum += frame.raw[i];
    Check((sum & 0xFF) == 0, "a frame taken sums to 0 modulo 256");
    CheckChain(AnswerRequest(frame, context));
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  if (size < 1) return 0;
  const uint8_t setting = data[0];
  const bool binary = (setting & 0x01) != 0;
  const SimProtocol protocol = binary ? SimProtocol::kBinary : SimProtocol::kText;
  const UpsModel& model = ModelFor(setting, protocol);
  const Readings readings = ReadingsFor(model, SimState::kNormal);
  const uint8_t* line = data + 1;
  const size_t length = size - 1;
  const size_t half = length / 2;
  int requests = 0;

  if (!binary) {
    TextContext context;
    context.model = &model;
    context.readings = readings;
    context.reject_controls = (setting & 0x02) != 0;
    std::string pending(reinterpret_cast<const char*>(line), half);
    ServeText(&pending, context, &requests);
    pending.append(reinterpret_cast<const char*>(line) + half, length - half);
    ServeText(&pending, context, &requests);
    return 0;
  }

  BinaryContext context;
  context.model = &model;
  context.readings = readings;
  context.reject_controls = (setting & 0x02) != 0;
  std::vector<uint8_t> pending(line, line + half);
  ServeFrames(&pending, context, &requests);
  pending.insert(pending.end(), line + half, line + length);
  ServeFrames(&pending, context, &requests);
  return 0;
}
