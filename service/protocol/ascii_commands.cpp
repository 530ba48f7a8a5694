#include "protocol/ascii_commands.h"

#include <cstring>

#include "protocol/ascii_builders.h"
#include "protocol/binary_frames.h"
#include "protocol/serial_link.h"
#include "protocol/ups_state.h"

namespace zep {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The wait for the UPS's answer to the fixed-code request: one poll of
// 300 ms, ending as soon as more than one byte came.
constexpr int kFixedCodeInterval = 300;
constexpr int kFixedCodeFirstPolls = 1;
constexpr int kFixedCodeAfterPolls = 1;
constexpr int kFixedCodeMost = 1;

// Answers that do not depend on the UPS.
constexpr const char* kFixedAnswers[] = {
    "00\r",               // 0: "M"
    "NG\r",               // 1: "&K", "&OS"
    "00000000\r",         // 2: "&N"
    "000\r",              // 3: "&DQ"
    "0000\r",             // 4: "&BQ", "%N"
    "OK\r",               // 5: "&B", "&D"
    "FFFFFFFFFFFFFF\r",   // 6: "&F"
    "000000000000000\r",  // 7: "&I"
};

template <int kIndex>
int BuildFixedAnswer(UpsState&, const ReplyAssembly&, char* buffer,
                     size_t capacity) {
  return WriteAnswer(buffer, capacity, kFixedAnswers[kIndex]);
}

}  // namespace

const AsciiCommandRow AsciiCommandTable[kAsciiCommandRows + 1] = {
    {"&S1\r", nullptr, BuildStatusAnswer},             // 0
    {"QQ\r", nullptr, BuildExtendedAnswer},            // 1
    {"Q1\r", nullptr, BuildMeasurementAnswer},         // 2
    {"&O\r", nullptr, BuildOutputAnswer},              // 3
    {"&R\r", nullptr, BuildBatteryAnswer},             // 4
    {"&M\r", nullptr, BuildModelAnswer},               // 5
    {"%M\r", nullptr, BuildModelVersionAnswer},        // 6
    {"M\r", nullptr, BuildFixedAnswer<0>},             // 7
    {"&K\r", nullptr, BuildFixedAnswer<1>},            // 8
    {"&N\r", nullptr, BuildFixedAnswer<2>},            // 9
    {"&DQ\r", nullptr, BuildFixedAnswer<3>},           // 10
    {"&BQ\r", nullptr, BuildFixedAnswer<4>},           // 11
    {"%N\r", nullptr, BuildFixedAnswer<4>},            // 12
    {"&B", nullptr, BuildFixedAnswer<5>},              // 13
    {"CT\r", nullptr, nullptr},                        // 14
    {"&C\r", BuildCancelCommand, BuildConfirmAnswer},  // 15
    {"C\r", nullptr, BuildConfirmAnswer},              // 16
    {"&D", nullptr, BuildFixedAnswer<5>},              // 17
    {"&FC\r", nullptr, nullptr},                       // 18
    {"&F", nullptr, BuildFixedAnswer<6>},              // 19
    {"&I", nullptr, BuildFixedAnswer<7>},              // 20
    {"&KW", nullptr, nullptr},                         // 21
    {"&L\r", nullptr, nullptr},                        // 22
    {"&OS", nullptr, BuildFixedAnswer<1>},             // 23
    {"&RC\r", nullptr, nullptr},                       // 24
    {"TL\r", nullptr, nullptr},                        // 25
    {"&TS", nullptr, nullptr},                         // 26
    {"&T\r", BuildTestCommand, BuildTestAnswer},       // 27
    {"T\r", nullptr, nullptr},                         // 28
    {"&Z", BuildSettingCommand, BuildSettingAnswer},   // 29
    {"%Z", nullptr, nullptr},                          // 30
    {"E", BuildGroupCommand, nullptr},                 // 31
    {"S", BuildShutdownCommand, nullptr},              // 32
    {"", nullptr, nullptr},
};

int FindCommandRow(const char* command, size_t length) {
  if (command == nullptr) return -1;
  for (int row = 0; AsciiCommandTable[row].prefix[0] != '\0'; ++row) {
    const char* prefix = AsciiCommandTable[row].prefix;
    size_t prefix_length = std::strlen(prefix);
    if (prefix_length <= length &&
        std::memcmp(command, prefix, prefix_length) == 0) {
      return row;
    }
  }
  return -1;
}

int TranslateCommand(Translator& translator, char* buffer, int length,
                     size_t capacity) {
  UpsState& state = translator.state;
  SerialLink& link = translator.link;
  if (buffer == nullptr || capacity == 0 || length < 0) return -1;
  if (static_cast<size_t>(length) >= capacity) {
    length = static_cast<int>(capacity - 1);
  }
  buffer[length] = '\0';
  uint8_t* bytes = reinterpret_cast<uint8_t*>(buffer);

  link.FlushTx();
  link.FlushRx();

  int mode = state.protocol_mode.load(kRelaxed);
  if (mode == 0) return link.Send(bytes, length) == 1 ? length : -1;

  int row = FindCommandRow(buffer, static_cast<size_t>(length));
  int frame_length;
  if (mode == 1 && row >= 0 && AsciiCommandTable[row].request != nullptr) {
    // Every control request is preceded by the fixed code. Its answer is
    // not interpreted, so it is discarded here: left in the receive queue
    // it would sit before the control request's own reply and could be
    // taken for it.
    uint8_t code[16];
    int code_length = BuildRequest(state, kRequestFixedCode, code, sizeof code);
    if (code_length > 0) link.Send(code, code_length);
    link.RecvChars(kFixedCodeInterval, kFixedCodeFirstPolls,
                   kFixedCodeAfterPolls, kFixedCodeMost);
    link.FlushRx();

    state.pending_command_row.store(row, kRelaxed);
    frame_length = AsciiCommandTable[row].request(state, buffer, capacity);
  } else {
    // Anything else drives the next poll; the answer comes from the state.
    state.pending_command_row.store(row, kRelaxed);
    frame_length = BuildRequest(
        state, static_cast<uint8_t>(CurrentPollId(state)), bytes, capacity);
    if (frame_length <= 0) {
      frame_length = BuildRequest(
          state, static_cast<uint8_t>(CurrentPollId(state)), bytes, capacity);
    }
  }
  if (frame_length <= 0) return frame_length;
  return link.Send(bytes, frame_length) == 1 ? frame_length : -1;
}

int TranslateReply(Translator& translator, char* buffer, int count,
                   size_t capacity) {
  UpsState& state = translator.state;
  if (buffer == nullptr || capacity == 0) return -1;
  if (count < 0) count = 0;
  if (static_cast<size_t>(count) >= capacity) {
    count = static_cast<int>(capacity - 1);
  }
  uint8_t* bytes = reinterpret_cast<uint8_t*>(buffer);
  int received = translator.link.RecvString(bytes, count);
  if (received <= 0) return received;
  if (received > count) received = count;
  buffer[received] = '\0';

  // An ASCII UPS (or the "NG" that tells one while probing) is answered
  // with its own text.
  if (ProtocolModeOf(state, buffer) == 0) return received;

  size_t size = static_cast<size_t>(received);
  if (!JoinReply(state, translator.reply, bytes, size)) return received;
  DispatchReply(state, translator.reply, bytes, size);

  int row = state.pending_command_row.load(kRelaxed);
  if (row < 0 || row >= kAsciiCommandRows) return -1;
  const AsciiCommandRow& command = AsciiCommandTable[row];
  // A command without a request of its own was carried by a poll.
  if (command.request == nullptr) AdvancePoll(state);
  if (command.reply != nullptr) {
    return command.reply(state, translator.reply, buffer, capacity);
  }
  return WriteAnswer(buffer, capacity, "OK\r");
}

}  // namespace zep
