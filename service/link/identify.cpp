// Identification: the fixed command sequence that learns the UPS's model,
// version and ratings and its first status bytes.
#include <cstring>
#include <string>

#include "clock.h"
#include "config.h"
#include "events/meter_values.h"
#include "host/worker_table.h"
#include "link/monitor.h"
#include "link/monitor_record.h"
#include "link/port_search.h"
#include "message_files.h"
#include "protocol/ascii_answers.h"
#include "protocol/status_datagrams.h"
#include "protocol/ups_state.h"
#include "service_context.h"
#include "text_format.h"

namespace zep {
namespace {

constexpr int kModelCommand = 2;    // "&M\r"
constexpr int kVersionCommand = 4;  // "%M\r"
constexpr int kStatusCommand = 6;   // "&S1\r"
constexpr int kGroupsCommand = 7;   // "&N\r"
constexpr int kGroupsAnswerMinLength = 9;
constexpr char kCancel[] = "&C\r";

// Information items the identification sets.
constexpr int kInfoModel = 0;
constexpr int kInfoRatingText = 1;
constexpr int kInfoVersion = 2;
constexpr int kInfoRatingRecord = 3;
constexpr int kInfoIdTextA = 12;

void SetItem(ServiceContext& context, int slot, const char* text) {
  if (context.messages != nullptr) {
    SetInfoString(&context.messages->info_strings, slot, text);
  }
}

// The model text is read by the UPS shutdown on another thread.
void PublishModelText(MonitorRecord* record) {
  const char* text = record->identity.model_text;
  StoreText(record->model_text, text, std::strlen(text));
}

// The ratings of the UPS, from the state record (binary) or the model text
// (ASCII); sent to the meter thread, which makes the rating items of them.
void WorkOutRatings(ServiceContext& context, MonitorRecord* record,
                    int protocol_mode) {
  const UpsState& state = *context.ups_state;
  if (protocol_mode != 0) {
    BinaryRatings(RatedVaOf(state), RatedWattsOf(state), RatedVoltageOf(state),
                  &record->ratings);
  } else {
    record->ratings = AsciiRatings(record->identity.model_text);
  }
  ValueDatagram datagram;
  int length = AppendRatingValues(&datagram, record->ratings);
  if (ValueCount(datagram) > 0) {
    SendToLocalPort(WorkerPort(context, kMeterSlot), datagram.bytes, length);
  }
  const IdentityTexts& texts = record->identity;
  SetItem(context, kInfoModel, texts.model_text);
  SetItem(context, kInfoRatingText, texts.rating_text);
  SetItem(context, kInfoVersion, texts.version_text);
  SetItem(context, kInfoRatingRecord, texts.rating_record);
  SetItem(context, kInfoIdTextA, IdTextAOf(state).c_str());
}

// A binary UPS with a group schedule under way (group state 2, 3 or 4), or
// an ASCII UPS when ZEP_FIXED_FLAG asks for it, gets one cancel; it goes to
// the monitor's own slot, to be relayed like any other part's command.
void CancelSchedules(MonitorSession* session, int protocol_mode) {
  const UpsState& state = *session->context->ups_state;
  bool cancel = false;
  if (protocol_mode != 0) {
    int count = state.group_count.load(std::memory_order_relaxed);
    for (int i = 0; i <= count && i < kGroupStateCount; ++i) {
      int group_state = state.group_states[i].load(std::memory_order_relaxed);
      if (group_state >= 2 && group_state <= 4) cancel = true;
    }
  } else {
    cancel = GetConfigInt("ZEP_FIXED_FLAG") > 0;
  }
  if (cancel) {
    SendToLocalPort(session->slot_endpoint->bound_port, kCancel,
                    sizeof kCancel - 1);
  }
}

// Uses one complete answer. Returns false when the identification cannot
// count it: a status answer it could not read. Every other answer counts
// whether it fits or not, "NG" included, since a UPS refuses commands it
// lacks.
bool UseIdentificationAnswer(MonitorSession* session, int position,
                             const char* answer, int length) {
  if (IsRefusal(answer, length)) return position != kStatusCommand;
  ServiceContext& context = *session->context;
  MonitorRecord* record = context.monitor;
  int protocol_mode = CurrentProtocolMode(context);
  switch (position) {
    case kModelCommand:
      if (ReadModelAnswer(answer, length, protocol_mode, &record->identity)) {
        PublishModelText(record);
      }
      break;
    case kVersionCommand: {
      std::string id_text_b = IdTextBOf(*context.ups_state);
      if (ReadVersionAnswer(answer, length, protocol_mode, id_text_b.c_str(),
                            &record->identity)) {
        PublishModelText(record);
        WorkOutRatings(context, record, protocol_mode);
      }
      break;
    }
    case kStatusCommand:
      // Without the status the link is not back: a UPS answering garbage
      // that ends in CR would otherwise count as identified, and the lost
      // link would end while nothing usable is known.
      if (!ReadStatusAnswer(answer, length,
                            AlarmSummaryExtraBitsFor(context, protocol_mode),
                            CurrentRingEntry(&record->ring))) {
        return false;
      }
      AdvanceStatusRing(&record->ring);
      break;
    case kGroupsCommand:
      if (length >= kGroupsAnswerMinLength) {
        CancelSchedules(session, protocol_mode);
      }
      break;
    default:
      break;
  }
  return true;
}

int64_t SteadyMs(const ServiceContext& context) {
  Clock& clock = context.clock != nullptr ? *context.clock : SystemClock();
  return clock.NowMilliseconds();
}

// A missing answer: the port is closed and opened again at once when the
// link has just been lost (polling already waited out four answers), and
// then after each kReopenSilenceMs of silence.
void NoteSilence(MonitorSession* session) {
  const int64_t now = SteadyMs(*session->context);
  if (now < session->reopen_due_ms) return;
  if (session->reopen_due_ms != 0 || session->polling_ended_before) {
    ReopenFoundPort(*session->context);
  }
  session->reopen_due_ms = now + kReopenSilenceMs;
}

}  // namespace

uint8_t AlarmSummaryExtraBitsFor(const ServiceContext& context,
                                 int protocol_mode) {
  float temperature = 0.0f;
  bool armed = context.meter_values != nullptr &&
               TemperatureOf(*context.meter_values, &temperature);
  return AlarmSummaryExtraBits(protocol_mode, armed, temperature);
}

int IdentifyUps(MonitorSession* session) {
  char buffer[kLinkTextSize];
  char answer[kLinkTextSize];
  int position = 0;
  for (;;) {
    // Other parts' commands first; the monitor's own wait one cycle.
    int relayed = RelayRequest(session->slot_endpoint, &session->link,
                               session->cycle_ms, buffer);
    if (relayed < 0) return -1;
    if (relayed > 0) continue;

    int length = ExchangeWithUps(&session->link, kIdentifyCommands[position],
                                 answer, session->cycle_ms + 1000);
    if (length < 0) return -1;
    if (!IsCompleteAnswer(answer, length)) {
      NoteSilence(session);
      position = 0;
      continue;
    }
    session->reopen_due_ms = 0;
    if (!UseIdentificationAnswer(session, position, answer, length)) {
      position = 0;
      continue;
    }
    if (++position == kIdentifyCommandCount) return 1;
  }
}

}  // namespace zep
