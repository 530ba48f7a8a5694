// Fuzz target: datagrams from any local program to the external command
// port, through HandleExternalFrame, one session across all of them as in
// the external command thread. Each datagram is handed over in a buffer of
// exactly its length.
//
// Input: datagrams, each a length (2 bytes, little-endian, at most the
// thread's 1024-byte receive buffer) and its bytes; the last one takes
// what is left.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "link/external_frames.h"
#include "message_files.h"
#include "protocol/event_table.h"
#include "udp.h"

namespace zep {
namespace {

constexpr int kMostFrames = 32;

// Tables with a record in each kind, one of them of the longest text.
const MessageTables& Tables() {
  static MessageTables* tables = [] {
    auto* made = new MessageTables();
    const std::string longest(kMessageTextSize - 1, 'L');
    made->levels[0].identifier = 1;
    std::strcpy(made->levels[0].first_text, "Information");
    made->categories[0].identifier = 107;
    std::strcpy(made->categories[0].first_text, longest.c_str());
    std::strcpy(made->categories[0].second_text, longest.c_str());
    made->states_events[0].identifier = 3368;
    std::strcpy(made->states_events[0].first_text, "Mains failure");
    made->measurements[0].identifier = 192;
    std::strcpy(made->measurements[0].first_text, "Input voltage");
    SetInfoString(&made->info_strings, 0, longest.c_str());
    return made;
  }();
  return *tables;
}

const EventSummary& Summary() {
  static EventSummary* summary = [] {
    auto* made = new EventSummary();
    made->summary_total.store(3);
    made->summary_severity.store(2);
    made->summary_stamp.store(0x5F000000);
    made->summary_kind.store(-1);
    made->summary_category.store(107);
    return made;
  }();
  return *summary;
}

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

bool IsDigits(const char* text, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

// "&C\r", "T\r" or "E<group>S<two digits>X\r".
bool IsKnownCommand(const char* command) {
  if (std::strcmp(command, "&C\r") == 0 || std::strcmp(command, "T\r") == 0) {
    return true;
  }
  const size_t length = std::strlen(command);
  if (length < 8 || command[0] != 'E') return false;
  const size_t s = length - 5;  // "S", two digits, "X", CR
  return IsDigits(command + 1, s - 1) && command[s] == 'S' &&
         IsDigits(command + s + 1, 2) &&
         std::strcmp(command + s + 3, "X\r") == 0;
}

// The checks on one handled datagram. `authorised_before` says whether the
// last command frame taken before it presented the access literal.
void CheckOutcome(const std::vector<uint8_t>& frame, int result,
                  const ExternalOutcome& outcome, bool authorised_before) {
  Check(result >= -1 && result <= kExternalLongAnswer,
        "the result is -1, 0 or an answer length");
  Check(result == outcome.answer_length || (result == -1 &&
                                            outcome.answer_length == 0),
        "the result is the length of the answer made");
  Check(Terminated(outcome.command, sizeof outcome.command) &&
            Terminated(outcome.console_line, sizeof outcome.console_line),
        "the command and the console line are terminated");
  if (result == -1) {
    Check(outcome.command[0] == '\0' && outcome.console_line[0] == '\0',
          "a dropped frame makes nothing");
    Check(frame.size() <= 3 || frame[0] + 3u != frame.size() ||
              FrameChecksum(frame.data(), static_cast<int>(frame.size()) -
                                              1) != frame.back(),
          "only malformed frames are dropped");
    return;
  }
  const size_t console = std::strlen(outcome.console_line);
  Check(console >= 2 && outcome.console_line[console - 2] == '\r' &&
            outcome.console_line[console - 1] == '\n',
        "a console line ends in CR LF");

  if (result > 0) {
    const int n = outcome.answer_length;
    Check(FrameChecksum(outcome.answer, n - 1) == outcome.answer[n - 1],
          "an answer carries its checksum");
    if (n == kExternalLongAnswer) {
      Check(outcome.answer[0] == 0xFF, "the long answer has length byte 255");
    } else {
      Check(outcome.answer[0] + 3 == n &&
                outcome.answer[1] == kExternalResponseFrame,
            "a response frame is as long as its length byte says");
    }
  }
  if (outcome.command[0] != '\0') {
    Check(frame[1] == kExternalCommandFrame && authorised_before,
          "a command is made only right after the access literal");
    Check(IsKnownCommand(outcome.command),
          "a command is one the monitor can relay as it stands");
  }
}

}  // namespace
}  // namespace zep

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zep;
  ExternalSession session;
  ExternalSources sources;
  sources.summary = &Summary();
  sources.messages = &Tables();
  // Whether the last command frame taken presented the access literal.
  bool literal_presented = false;

  size_t position = 0;
  for (int i = 0; i < kMostFrames && position < size; ++i) {
    size_t length = data[position];
    if (position + 1 < size) length |= static_cast<size_t>(data[position + 1]) << 8;
    position += 2;
    if (position > size) position = size;
    length = std::min({length, size - position,
                       static_cast<size_t>(kExternalReceiveSize)});
    std::vector<uint8_t> frame(data + position, data + position + length);
    position += length;

    ExternalOutcome outcome;
    int result = HandleExternalFrame(session, sources, frame.data(),
                                     static_cast<int>(frame.size()), &outcome);
    CheckOutcome(frame, result, outcome, literal_presented);
    if (result != -1 && frame[1] == kExternalCommandFrame) {
      literal_presented =
          frame.size() >= 3 + 1 + kExternalAccessLength && frame[2] == '5' &&
          std::memcmp(frame.data() + 3, kExternalAccessLiteral,
                      kExternalAccessLength) == 0;
    }
  }
  return 0;
}
