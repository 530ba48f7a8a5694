// Fuzz target: the request side of the binary protocol. A text (the "g" or
// "g,t" form of the control requests, or an ASCII command such as
// "S01R00005") is turned into a request frame in a buffer of exactly the
// given capacity, so that any write past it is caught. The simulated UPS
// must then take the frame as it was built, and carry out every control
// request the service makes.
//
// Input: selector byte, request ID byte, capacity byte, then the text. The
// selector's low 3 bits choose BuildRequest (0) or one of the ASCII request
// builders (1..5); bit 3 makes the protocol still unknown (probing, a CR
// after the frame); bit 4 puts group 1 in state 3. The capacity byte adds
// 0..31 bytes (zero) after the text, 0 leaving the text unterminated.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_check.h"
#include "protocol/ascii_builders.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"
#include "sim_request.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool IsControlId(uint8_t id) {
  return id == 0x97 || id == kRequestShutdownRestart ||
         id == kRequestScheduleOn || id == kRequestScheduleOff ||
         id == kRequestTest || id == kRequestSetting;
}

// A built request: start byte, N, ID, N-1 data bytes and a checksum that
// makes the frame sum to 0; a CR follows while probing.
void CheckFrame(const std::vector<uint8_t>& buffer, int length, bool probing) {
  Check(static_cast<size_t>(length) <= buffer.size(),
        "a request frame fits its buffer");
  Check(length >= 4, "a request frame has start, length, ID and checksum");
  Check(buffer[0] == kFrameStart, "a request frame begins with 0xAB");
  const int frame = buffer[1] + 3;
  Check(buffer[1] >= 1, "a request frame's N counts its ID");
  Check(length == frame + (probing ? 1 : 0),
        "a request frame's length follows from its N byte");
  unsigned sum = 0;
  for (int i = 0; i < frame; ++i) sum += buffer[i];
  Check((sum & 0xFF) == 0, "a request frame sums to 0 modulo 256");
  if (probing) {
    Check(buffer[frame] == kCarriageReturn, "a probing request ends in CR");
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  if (size < 3) return 0;
  const uint8_t selector = data[0];
  const uint8_t id = data[1];
  const size_t extra = data[2] % 32;
  const uint8_t* text = data + 3;
  const size_t text_length = size - 3;

  UpsState state;
  const bool probing = (selector & 0x08) != 0;
  state.protocol_mode.store(probing ? -1 : 1, kRelaxed);
  if ((selector & 0x10) != 0) {
    state.group_count.store(2, kRelaxed);
    state.group_states[1].store(3, kRelaxed);
  }

  // Exactly the capacity the builder is told of.
  std::vector<uint8_t> buffer(text_length + extra, 0);
  if (buffer.empty()) return 0;
  std::memcpy(buffer.data(), text, text_length);
  char* chars = reinterpret_cast<char*>(buffer.data());

  int length = 0;
  switch (selector & 0x07) {
    case 0:
      length = BuildRequest(state, id, buffer.data(), buffer.size());
      break;
    case 1:
      length = BuildCancelCommand(state, chars, buffer.size());
      break;
    case 2:
      length = BuildTestCommand(state, chars, buffer.size());
      break;
    case 3:
      length = BuildSettingCommand(state, chars, buffer.size());
      break;
    case 4:
      length = BuildShutdownCommand(state, chars, buffer.size());
      break;
    case 5:
      length = BuildGroupCommand(state, chars, buffer.size());
      break;
    default:
      return 0;
  }
  if (length <= 0) return 0;
  CheckFrame(buffer, length, probing);
  if ((selector & 0x07) != 0) {
    Check(IsControlId(buffer[2]),
          "an ASCII control command becomes a control request");
  } else if (id == kRequestCancel || id == kRequestShutdown) {
    Check(buffer[2] == 0x97, "cancel and shutdown go out as request 0x97");
  } else {
    Check(buffer[2] == id, "a request carries the ID it was built for");
  }

  SimReading sim = ReadAsSimulator(buffer.data(), static_cast<size_t>(length));
  Check(sim.frame && sim.left == 0 && sim.probe == probing,
        "the simulated UPS takes the whole frame as one request");
  Check(sim.id == buffer[2] &&
            sim.data == std::vector<uint8_t>(buffer.begin() + 3,
                                             buffer.begin() + buffer[1] + 2),
        "the simulated UPS reads the ID and data that were built");
  if (sim.id != kRequestFixedCode && (selector & 0x07) != 0) {
    Check(sim.control_accepted,
          "the simulated UPS carries out every control request built");
  }
  return 0;
}
