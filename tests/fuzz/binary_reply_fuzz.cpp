// Fuzz target: bytes from the serial line of a binary UPS, as the UPS I/O
// thread receives them after a request. They go through JoinReply and
// DispatchReply, and, as a payload of their own, through every reply
// parser (a reply of the wrong type reaches a parser the same way). The
// ASCII answers are then built from whatever state the parsers left.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "protocol/ascii_commands.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

void CheckParserResult(int result) {
  Check(result == 0 || result == 1, "a reply parser returns 1 or 0");
}

// Every parser of the message table on one payload.
void ParseWithEveryRow(UpsState& state, const ReplyAssembly& reply) {
  for (const BinaryMessageRow* row = BinaryMessageTable; row->key != 0;
       ++row) {
    if (row->parse != nullptr) CheckParserResult(row->parse(state, reply));
  }
}

// What any reader of the record may rely on, whatever the UPS sent.
void CheckState(UpsState& state) {
  Check(ModelNameOf(state).size() < static_cast<size_t>(kModelNameSize),
        "the model name fits its field");
  Check(IdTextAOf(state).size() < static_cast<size_t>(kIdTextSize) &&
            IdTextBOf(state).size() < static_cast<size_t>(kIdTextSize),
        "the identification texts fit their fields");
  Check(state.group_count.load(kRelaxed) < kGroupStateCount,
        "the group count stays below the group table's size");
  for (int n = -1; n <= kAlarmBitCount; ++n) {
    uint8_t bit = AlarmBit(state, n);
    Check(bit == 0 || bit == 1 || bit == 255, "an alarm bit is 0, 1 or 255");
  }
  for (int n = 0; n <= kMeasurementCount + 1; ++n) Measurement(state, n);
  int selected = SelectedGroupOf(state);
  Check(selected >= 0 && selected < kGroupStateCount,
        "the selected group is a group of the table");
  CountGroupsInState3(state);
  OperatingStateCode(state);
  LoadLimitsOf(state);
}

// The answers an ASCII UPS would give, built from the state.
void BuildEveryAnswer(UpsState& state, const ReplyAssembly& reply) {
  for (int row = 0; row < kAsciiCommandRows; ++row) {
    AsciiReplyBuilder build = AsciiCommandTable[row].reply;
    if (build == nullptr) continue;
    char answer[1280];
    std::memset(answer, 'x', sizeof answer);
    int length = build(state, reply, answer, sizeof answer);
    if (length < 0) continue;
    Check(static_cast<size_t>(length) < sizeof answer,
          "an answer fits the buffer with its terminator");
    Check(std::strlen(answer) == static_cast<size_t>(length),
          "an answer's length is that of its text");
    Check(length > 0 && answer[length - 1] == '\r', "an answer ends in CR");
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;

  // As a chain of frames.
  {
    UpsState state;
    ReplyAssembly reply;
    int joined = JoinReply(state, reply, data, size);
    Check(joined == 0 || joined == 1, "JoinReply returns 1 or 0");
    Check(reply.count >= 0 && reply.count <= kReplyAssemblySize,
          "the joined payload never exceeds its record");
    Check(static_cast<size_t>(reply.count) <= size,
          "the joined payload is never longer than the bytes received");
    if (joined == 0) {
      Check(state.protocol_mode.load(kRelaxed) == -1,
            "bytes that are no reply leave the protocol unknown");
    } else {
      Check(reply.count > 0, "a joined reply has a payload");
      int dispatched = DispatchReply(state, reply, data, size);
      Check(dispatched >= -1 && dispatched <= 1,
            "DispatchReply returns a parser's result or -1");
    }
    CheckState(state);
    state.protocol_mode.store(1, kRelaxed);
    BuildEveryAnswer(state, reply);
  }

  // As a payload already joined.
  {
    UpsState state;
    ReplyAssembly reply;
    size_t taken = size < static_cast<size_t>(kReplyAssemblySize)
                       ? size
                       : static_cast<size_t>(kReplyAssemblySize);
    if (taken > 0) std::memcpy(reply.bytes, data, taken);
    reply.count = static_cast<int32_t>(taken);
    state.protocol_mode.store(1, kRelaxed);
    ParseWithEveryRow(state, reply);
    CheckState(state);
    BuildEveryAnswer(state, reply);
  }
  return 0;
}
