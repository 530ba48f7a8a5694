// Polling: the four commands of a pass, the use of their answers, and the
// condition report at the end of each pass.
#include "clock.h"
#include "events/status_records.h"
#include "host/worker_table.h"
#include "link/monitor.h"
#include "link/monitor_record.h"
#include "message_files.h"
#include "protocol/ascii_answers.h"
#include "protocol/condition_table.h"
#include "protocol/event_table.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "text_format.h"

namespace zep {
namespace {

// Pass flags: one per command whose answer was used, and the mark of the
// first pass after an identification.
constexpr int kFirstPass = 0x80;
constexpr int kStatusUsed = 0x01;
constexpr int kQqUsed = 0x02;
constexpr int kBatteryUsed = 0x04;
constexpr int kQ1Used = 0x08;

constexpr int kStatusPosition = 0;   // "&S1\r"
constexpr int kQqPosition = 1;       // "QQ\r"
constexpr int kBatteryPosition = 2;  // "&R\r"
constexpr int kQ1Position = 3;       // "Q1\r"

// Answers missing in a row before the link counts as lost: the first and
// three more.
constexpr int kFailureAllowance = 3;
constexpr int kSummaryRelayWaitMs = 100;

constexpr int kInfoBatteryFigure = 7;

void SendValues(ServiceContext& context, const AnswerValues& values) {
  if (values.count == 0) return;
  ValueDatagram datagram;
  int length = AppendAnswerValues(&datagram, values);
  SendToLocalPort(WorkerPort(context, kMeterSlot), datagram.bytes, length);
}

// Takes the answer apart; returns the pass flag it earns (0: not used).
int UsePollAnswer(ServiceContext& context, int position, const char* answer,
                  int length) {
  MonitorRecord* record = context.monitor;
  const UpsState& state = *context.ups_state;
  int protocol_mode = CurrentProtocolMode(context);
  StatusRingEntry* entry = CurrentRingEntry(&record->ring);
  AnswerValues values;
  switch (position) {
    case kStatusPosition:
      return ReadStatusAnswer(answer, length,
                              AlarmSummaryExtraBitsFor(context, protocol_mode),
                              entry)
                 ? kStatusUsed
                 : 0;
    case kQqPosition:
      if (!ReadQqAnswer(answer, length, protocol_mode, &values,
                        &entry->status_bits)) {
        return 0;
      }
      SendValues(context, values);
      return kQqUsed;
    case kBatteryPosition: {
      if (!ReadBatteryAnswer(answer, length, &record->battery_figure)) {
        return 0;
      }
      char text[12];
      FormatFixed(text, sizeof text, "%d", record->battery_figure);
      if (context.messages != nullptr) {
        SetInfoString(&context.messages->info_strings, kInfoBatteryFigure,
                      text);
      }
      return kBatteryUsed;
    }
    case kQ1Position:
      if (!ReadQ1Answer(answer, length, protocol_mode, Measurement(state, 24),
                        Measurement(state, 28), &values)) {
        return 0;
      }
      SendValues(context, values);
      return kQ1Used;
    default:
      return 0;
  }
}

void ReportPass(ServiceContext& context) {
  MonitorRecord* record = context.monitor;
  const StatusRingEntry& entry = *CurrentRingEntry(&record->ring);
  int event_port = WorkerPort(context, kEventSlot);
  ReportConditionChanges(*context.ups_state, &record->reported,
                         entry.alarm_summary, entry.state, entry.status_bits,
                         [event_port](const uint8_t* bytes, int length) {
                           return SendToLocalPort(event_port, bytes, length);
                         });
}

// The summary and the category records after the first pass, which is
// when the table may have been emptied by a new identification.
void RefreshSummary(ServiceContext& context) {
  if (context.events != nullptr && context.summary != nullptr) {
    Clock& clock = context.clock != nullptr ? *context.clock : SystemClock();
    UpdateEventSummary(*context.events, *context.summary,
                       CategoryContextOf(*context.ups_state, *context.events),
                       static_cast<int32_t>(clock.NowSeconds()));
  }
  UpdateStatusRecords(context);
}

}  // namespace

int PollUps(MonitorSession* session) {
  ServiceContext& context = *session->context;
  char buffer[kLinkTextSize];
  char answer[kLinkTextSize];
  int position = kStatusPosition;
  int flags = kFirstPass;
  int allowance = kFailureAllowance;
  for (;;) {
    int relayed = RelayRequest(session->slot_endpoint, &session->link,
                               session->cycle_ms, buffer);
    if (relayed < 0) return -1;
    if (relayed > 0) continue;

    int length = ExchangeWithUps(&session->link, kPollCommands[position],
                                 answer, session->cycle_ms + 1000);
    if (length < 0) return -1;
    if (!IsCompleteAnswer(answer, length) || IsRefusal(answer, length)) {
      // The same command again, up to three more times.
      if (--allowance < 0) return 0;
      continue;
    }
    flags |= UsePollAnswer(context, position, answer, length);

    if (position == kQ1Position) {
      if ((flags & ~kFirstPass) == 0) return 1;
      if ((flags & kStatusUsed) != 0) {
        ReportPass(context);
        if ((flags & kFirstPass) != 0) {
          if (RelayRequest(session->slot_endpoint, &session->link,
                           kSummaryRelayWaitMs, buffer) < 0) {
            return -1;
          }
          RefreshSummary(context);
        }
        flags = 0;
      } else {
        // Without this pass's own status the ring entry holds the bytes of
        // an older pass (or the start values after an identification), and
        // a report from it would invent changes. The first-pass mark stays
        // for the first pass that reports.
        flags &= kFirstPass;
      }
    }

    if (++position == kPollCommandCount) {
      position = kStatusPosition;
      AdvanceStatusRing(&context.monitor->ring);
    }
    allowance = kFailureAllowance;
  }
}

}  // namespace zep
