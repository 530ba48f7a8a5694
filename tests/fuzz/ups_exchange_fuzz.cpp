// Fuzz target: the UPS I/O thread's exchanges with a UPS whose answers come
// from the input. Each exchange is one command (what a worker sends to the
// UPS I/O port) and the bytes the line gives back, through HandleUpsCommand
// and the fake serial link; the state record and the reply assembly carry
// over from one exchange to the next, as in the worker.
//
// Input: a mode byte (bits 0-1 modulo 3 give the protocol: unknown, ASCII
// UPS, binary UPS; bit 7 asks for the checksums of the reply frames to be
// put right, so that the fuzzer gets past them to the parsers), then
// exchanges: command length (1 byte), command, reply length (2 bytes,
// little-endian), reply. A record cut short takes what is left.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fake_serial_link.h"
#include "fuzz_check.h"
#include "protocol/ascii_answers.h"
#include "protocol/ascii_commands.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_io.h"
#include "protocol/ups_state.h"

namespace zep {
namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int kMostExchanges = 16;
constexpr size_t kMostReply = 1100;

class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return position_ >= size_; }
  uint8_t Byte() { return empty() ? 0 : data_[position_++]; }
  std::vector<uint8_t> Bytes(size_t count) {
    count = std::min(count, size_ - position_);
    std::vector<uint8_t> bytes(data_ + position_, data_ + position_ + count);
    position_ += count;
    return bytes;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Sets the checksum of every well-shaped reply frame in `bytes`.
void RepairChecksums(std::vector<uint8_t>* bytes) {
  std::vector<uint8_t>& b = *bytes;
  size_t p = 0;
  while (p + 5 <= b.size()) {
    const size_t length = b[p + 2];
    const size_t frame = 4 + length + 1;
    if (b[p] != kFrameStart || length < 1 || length > 127 ||
        p + frame > b.size()) {
      ++p;
      continue;
    }
    unsigned sum = 0;
    for (size_t i = 0; i + 1 < frame; ++i) sum += b[p + i];
    b[p + frame - 1] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    p += frame;
  }
}

void CheckRequestFrame(const FakeSerialLink::Bytes& frame, bool probing) {
  Check(frame.size() >= 4 && frame[0] == kFrameStart,
        "a binary UPS gets request frames");
  const size_t length = static_cast<size_t>(frame[1]) + 3;
  Check(frame.size() == length + (probing ? 1 : 0),
        "a request frame is as long as its N byte says");
  unsigned sum = 0;
  for (size_t i = 0; i < length; ++i) sum += frame[i];
  Check((sum & 0xFF) == 0, "a request frame sums to 0 modulo 256");
  if (probing) Check(frame[length] == kCarriageReturn, "a probe ends in CR");
}

// Whether the translator built the answer from the state: only when the
// line's bytes (as many as were taken) make a reply. Bytes that make none
// are handed on as they came.
bool AnswerIsBuilt(const std::vector<uint8_t>& line) {
  UpsState scratch;
  ReplyAssembly joined;
  const size_t taken = std::min(line.size(), static_cast<size_t>(kUpsReplyMost));
  return JoinReply(scratch, joined, line.data(), taken) == 1;
}

// What the monitor makes of an answer the translator built from the state
// of a binary UPS: an answer of the length the monitor reads is read.
void CheckMonitorReads(const std::vector<uint8_t>& command,
                       const std::string& text) {
  const std::string sent(command.begin(), command.end());
  const int length = static_cast<int>(text.size());
  if (sent == "&S1\r" && length == kStatusAnswerLength) {
    StatusRingEntry entry;
    Check(ReadStatusAnswer(text.c_str(), length, 0, &entry) == 1,
          "the monitor reads the \"&S1\" answer built for it");
  }
  if (sent == "QQ\r" && length == kQqAnswerLength) {
    AnswerValues values;
    uint8_t bits = 0;
    Check(ReadQqAnswer(text.c_str(), length, 1, &values, &bits) == 1,
          "the monitor reads the \"QQ\" answer built for it");
    // The eight status characters just before the CR.
    uint8_t written = 0;
    for (int i = 0; i < 8; ++i) {
      if (text[length - 9 + i] == '1') written |= 0x80 >> i;
    }
    Check(bits == written, "the monitor reads the status bits written");
  }
  if (sent == "Q1\r" && length == kQ1AnswerLength) {
    AnswerValues values;
    Check(ReadQ1Answer(text.c_str(), length, 1, -1.0f, -1.0f, &values) == 1,
          "the monitor reads the \"Q1\" answer built for it");
  }
}

void CheckStateRecord(const UpsState& state) {
  int mode = state.protocol_mode.load(kRelaxed);
  Check(mode >= -1 && mode <= 1, "protocol_mode is -1, 0 or 1");
  int row = state.pending_command_row.load(kRelaxed);
  Check(row >= -1 && row < kAsciiCommandRows,
        "the pending command is a row of the table or none");
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  InputReader input(data, size);
  UpsState state;
  ReplyAssembly reply;
  const uint8_t mode = input.Byte();
  const bool repair = (mode & 0x80) != 0;
  state.protocol_mode.store(static_cast<int8_t>((mode & 0x03) % 3 - 1),
                            kRelaxed);

  for (int exchange = 0; exchange < kMostExchanges && !input.empty();
       ++exchange) {
    std::vector<uint8_t> command = input.Bytes(input.Byte());
    size_t reply_length = input.Byte();
    reply_length |= static_cast<size_t>(input.Byte()) << 8;
    std::vector<uint8_t> answer =
        input.Bytes(std::min(reply_length, kMostReply));
    if (repair) RepairChecksums(&answer);

    FakeSerialLink link;
    // A control request to a binary UPS is preceded by the fixed-code
    // request, which takes (and discards) a reply of its own.
    link.ScriptReply(answer);
    link.ScriptReply(answer);
    Translator translator{state, reply, link};
    const int mode_before = state.protocol_mode.load(kRelaxed);

    UpsIoResult result =
        HandleUpsCommand(translator, command.data(), command.size());

    if (!result.answered) Check(result.text.empty(), "no answer, no text");
    Check(result.text.size() <= static_cast<size_t>(kUpsReplyMost),
          "an answer is never longer than the reply taken");
    Check(result.text.find('\0') == std::string::npos,
          "an answer is a text without NUL bytes");
    CheckStateRecord(state);
    Check(reply.count >= 0 && reply.count <= kReplyAssemblySize,
          "the joined payload never exceeds its record");

    const auto& sent = link.sent();
    if (mode_before == 0) {
      const size_t kept = std::min(command.size(), kUpsCommandMaximum);
      Check(sent.size() == 1 &&
                sent[0] == FakeSerialLink::Bytes(command.begin(),
                                                 command.begin() + kept),
            "an ASCII UPS gets the command unchanged");
    } else {
      for (const auto& frame : sent) CheckRequestFrame(frame, mode_before < 0);
    }
    if (mode_before == 1 && result.answered && AnswerIsBuilt(answer)) {
      CheckMonitorReads(command, result.text);
    }
  }
  return 0;
}
