#include "link/external_frames.h"

#include <atomic>
#include <cstring>

#include "message_files.h"
#include "protocol/event_table.h"
#include "text_format.h"
#include "trace.h"
#include "udp.h"

namespace zep {
namespace {

// Length byte, frame ID and checksum around the payload.
constexpr int kEnvelope = 3;
constexpr int kPayloadOffset = 2;

// Command sub-commands.
constexpr uint8_t kPresentLiteral = 0x35;  // "5"
constexpr uint8_t kCancel = 0x02;
constexpr uint8_t kGroupSchedule = 0x05;
constexpr uint8_t kTest = 0x20;

// Query sub-commands.
constexpr uint8_t kTextQuery = 0x00;
constexpr uint8_t kSummaryQuery = 0x42;  // "B"

// A text query: sub-command, kind, identifier (4 bytes), variant (4 bytes).
constexpr int kTextQueryPayload = 10;
// A summary query: "B", the entry count, then 5-byte entries from here.
constexpr int kSummaryMinimum = 5;
constexpr int kSummaryEntriesOffset = 2;
constexpr int kSummaryEntrySize = 5;
// The group schedule reads payload bytes 1, 3 and 4.
constexpr int kSchedulePayload = 5;
// The most minutes the schedule command can carry.
constexpr unsigned kMostMinutes = 99;

// Summary item codes.
constexpr uint8_t kItemSeverity = 1;
constexpr uint8_t kItemTotal = 2;
constexpr uint8_t kItemKind = 3;
constexpr uint8_t kItemCategory = 4;
constexpr uint8_t kItemStamp = 5;

// The answer's payload starts after the length and ID bytes; a response
// payload never exceeds what a length byte can say.
constexpr int kMaxResponsePayload = 255;

uint32_t LittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

void PutBigEndian32(uint8_t* bytes, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  bytes[0] = static_cast<uint8_t>(v >> 24);
  bytes[1] = static_cast<uint8_t>(v >> 16);
  bytes[2] = static_cast<uint8_t>(v >> 8);
  bytes[3] = static_cast<uint8_t>(v);
}

// The payload of a well-formed frame, with its size; bytes beyond it were
// never received and read as 0 where a field must still be shown.
struct Payload {
  const uint8_t* bytes;
  int size;
  uint8_t At(int index) const { return index < size ? bytes[index] : 0; }
};

// A response frame (ID 6) around `payload_size` bytes; nothing is sent for
// an empty payload.
int WriteResponse(const uint8_t* payload, int payload_size,
                  ExternalOutcome* outcome) {
  if (payload_size <= 0) return 0;
  if (payload_size > kMaxResponsePayload) payload_size = kMaxResponsePayload;
  uint8_t* out = outcome->answer;
  out[0] = static_cast<uint8_t>(payload_size);
  out[1] = kExternalResponseFrame;
  std::memcpy(out + kPayloadOffset, payload, static_cast<size_t>(payload_size));
  const int checksum_at = kPayloadOffset + payload_size;
  out[checksum_at] = FrameChecksum(out, checksum_at);
  outcome->answer_length = checksum_at + 1;
  return outcome->answer_length;
}

// Command frames and unknown IDs get the request back with length byte 255,
// padded with zeros to 258 bytes, the last being the checksum of the rest.
int WriteLongAnswer(const uint8_t* frame, int size, ExternalOutcome* outcome) {
  uint8_t* out = outcome->answer;
  std::memset(out, 0, kExternalLongAnswer);
  const int kept = size < kExternalLongAnswer ? size : kExternalLongAnswer;
  std::memcpy(out, frame, static_cast<size_t>(kept));
  out[0] = 0xFF;
  out[kExternalLongAnswer - 1] = FrameChecksum(out, kExternalLongAnswer - 1);
  outcome->answer_length = kExternalLongAnswer;
  return outcome->answer_length;
}

// Makes the UPS command of an authorised command frame, or nothing.
void MakeCommand(const Payload& payload, TraceBudget* traces,
                 ExternalOutcome* outcome) {
  char* out = outcome->command;
  switch (payload.At(0)) {
    case kCancel:
      CopyText(out, kExternalCommandSize, "&C\r");
      break;
    case kTest:
      CopyText(out, kExternalCommandSize, "T\r");
      break;
    case kGroupSchedule: {
      // Without its group and time the frame says nothing to carry out.
      if (payload.size < kSchedulePayload) {
        TraceWithin(traces,
                    "External: schedule frame too short, nothing sent\n");
        break;
      }
      const unsigned seconds =
          static_cast<unsigned>(payload.At(3)) << 8 | payload.At(4);
      const unsigned minutes = (seconds + 59) / 60;
      // The command carries the minutes in two digits; a third digit would
      // be read as the letter after them, giving another time altogether.
      if (minutes > kMostMinutes) {
        TraceWithin(traces,
                    "External: %u minutes do not fit the command, nothing "
                    "sent\n",
                    minutes);
        break;
      }
      FormatFixed(out, kExternalCommandSize, "E%02dS%02dX\r",
                  static_cast<int>(payload.At(1)), static_cast<int>(minutes));
      break;
    }
    default:
      break;
  }
}

void HandleCommand(ExternalSession& session, const Payload& payload,
                   ExternalOutcome* outcome) {
  if (payload.At(0) == kPresentLiteral) {
    session.authorised = payload.size >= 1 + kExternalAccessLength &&
                         std::memcmp(payload.bytes + 1, kExternalAccessLiteral,
                                     kExternalAccessLength) == 0;
    return;
  }
  const bool authorised = session.authorised;
  session.authorised = false;
  if (authorised) MakeCommand(payload, &session.traces, outcome);
}

int AnswerTextQuery(const ExternalSources& sources, const Payload& payload,
                    ExternalOutcome* outcome) {
  uint8_t response[2 + kMessageTextSize] = {kTextQuery};
  if (payload.size != kTextQueryPayload)
    return WriteResponse(response, 1, outcome);
  const uint8_t kind = payload.At(1);
  response[1] = kind;
  const int32_t identifier =
      static_cast<int32_t>(LittleEndian32(payload.bytes + 2));
  const int32_t variant =
      static_cast<int32_t>(LittleEndian32(payload.bytes + 6));
  char text[kMessageTextSize] = {};
  if (sources.messages == nullptr ||
      LookupMessage(*sources.messages, text, sizeof text, kind, identifier,
                    variant) < 0) {
    return WriteResponse(response, 2, outcome);
  }
  const size_t length = std::strlen(text);
  std::memcpy(response + 2, text, length);
  return WriteResponse(response, 2 + static_cast<int>(length), outcome);
}

int32_t SummaryValue(const EventSummary* summary, uint8_t code) {
  constexpr auto kRelaxed = std::memory_order_relaxed;
  // Until an event has been stamped there is nothing to report.
  if (summary == nullptr || summary->summary_stamp.load(kRelaxed) == 0) {
    return -1;
  }
  switch (code) {
    case kItemSeverity:
      return summary->summary_severity.load(kRelaxed);
    case kItemTotal:
      return summary->summary_total.load(kRelaxed);
    case kItemKind:
      return summary->summary_kind.load(kRelaxed);
    case kItemCategory:
      return summary->summary_category.load(kRelaxed);
    case kItemStamp:
      return summary->summary_stamp.load(kRelaxed);
    default:
      return -1;
  }
}

int AnswerSummaryQuery(const ExternalSources& sources, const Payload& payload,
                       ExternalOutcome* outcome) {
  if (payload.size < kSummaryMinimum) return 0;
  uint8_t response[kMaxResponsePayload];
  std::memcpy(response, payload.bytes, static_cast<size_t>(payload.size));
  // Only entries that arrived whole are filled, whatever the count says.
  const int count = payload.At(1);
  for (int i = 0; i < count; ++i) {
    const int at = kSummaryEntriesOffset + i * kSummaryEntrySize;
    if (at + kSummaryEntrySize > payload.size) break;
    PutBigEndian32(response + at + 1,
                   SummaryValue(sources.summary, response[at]));
  }
  return WriteResponse(response, payload.size, outcome);
}

}  // namespace

int HandleExternalFrame(ExternalSession& session,
                        const ExternalSources& sources, const uint8_t* frame,
                        int size, ExternalOutcome* outcome) {
  if (outcome == nullptr) return -1;
  *outcome = ExternalOutcome();
  if (frame == nullptr || size <= kEnvelope) {
    TraceWithin(&session.traces,
                "External: frame of %d bytes dropped (too short)\n",
                frame == nullptr ? 0 : size);
    return -1;
  }
  if (frame[0] + kEnvelope != size) {
    TraceWithin(&session.traces,
                "External: frame of %d bytes dropped (length byte %d)\n", size,
                frame[0]);
    return -1;
  }
  const uint8_t checksum = FrameChecksum(frame, size - 1);
  if (checksum != frame[size - 1]) {
    TraceWithin(&session.traces,
                "External: frame dropped (checksum %02x, expected %02x)\n",
                frame[size - 1], checksum);
    return -1;
  }

  const Payload payload = {frame + kPayloadOffset, size - kEnvelope};
  const uint8_t id = frame[1];
  FormatFixed(outcome->console_line, kExternalConsoleSize,
              "External Size:%d ID:%02x Length:%d CMD:%02x %02x %02x\r\n",
              payload.size, id, frame[0], payload.At(0), payload.At(1),
              payload.At(2));

  if (id == kExternalQueryFrame) {
    switch (payload.At(0)) {
      case kTextQuery:
        return AnswerTextQuery(sources, payload, outcome);
      case kSummaryQuery:
        return AnswerSummaryQuery(sources, payload, outcome);
      default:
        return 0;
    }
  }
  if (id == kExternalCommandFrame) HandleCommand(session, payload, outcome);
  return WriteLongAnswer(frame, size, outcome);
}

}  // namespace zep
