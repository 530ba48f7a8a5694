#include "polling.h"

#include "message_files.h"
#include "text_format.h"

namespace zep {
namespace {

constexpr int kDefaultPeriodMs = 5000;
constexpr int kShortestPeriodMs = 1000;
constexpr int kModelEntry = 0;
constexpr int kShortestModel = 2;
constexpr int kSummaryTimeoutMs = 500;

// The summary query: "B", three items, each a type and the value -1.
constexpr uint8_t kSummaryQuery = 0x42;
constexpr int kSummaryItems = 3;
constexpr int kItemSize = 5;
constexpr uint8_t kItemTypes[kSummaryItems] = {3, 4, 5};
constexpr int kSummaryQueryLength = 2 + kSummaryItems * kItemSize;

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) |
         (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

int PollingPeriod(int gui_cycle) {
  return gui_cycle >= kShortestPeriodMs ? gui_cycle : kDefaultPeriodMs;
}

uint32_t EventWord(uint32_t level, uint32_t category) {
  return ((category & 0xFFFFu) << 16) | (level & 0xFFFFu);
}

bool ReadSummaryAnswer(const uint8_t* answer, int length, uint32_t* wparam,
                       uint32_t* lparam) {
  // RequestFrame's count holds the two zero bytes behind the payload.
  const int payload = length - 2;
  if (payload < 2 || answer[0] != kSummaryQuery || answer[1] != kSummaryItems) {
    return false;
  }
  uint32_t values[kSummaryItems] = {0, 0, 0};
  int at = 2;
  for (uint32_t& value : values) {
    if (at + kItemSize > payload) break;
    const uint8_t type = answer[at];
    if (type < 3 || type > 5) break;
    value = BigEndian32(answer + at + 1);
    at += kItemSize;
  }
  const uint32_t level = values[0];
  const uint32_t category = values[1];
  if ((category & 0x8000u) != 0) return false;
  *wparam = EventWord(level, category);
  *lparam = values[2];
  return true;
}

TickOutcome PollingTick(TrayState* state, ServiceQueries& service) {
  TickOutcome outcome;
  if (state->identity_state == -1) {
    std::string model;
    int length = service.RequestText(kKindInfo, kModelEntry, 0, &model);
    if (length >= kShortestModel) {
      outcome.model_learnt = true;
      outcome.model = model;
      SetLastMessage(state, model);
      state->identity_state = 0;
    }
    return outcome;
  }

  uint8_t buffer[kFrameBufferSize] = {kSummaryQuery, kSummaryItems};
  int at = 2;
  for (uint8_t type : kItemTypes) {
    buffer[at] = type;
    buffer[at + 1] = buffer[at + 2] = buffer[at + 3] = buffer[at + 4] = 0xFF;
    at += kItemSize;
  }
  int length = service.RequestFrame(buffer, kSummaryQueryLength,
                                    kSummaryTimeoutMs);
  if (length < 0) {
    ForgetService(state);
    outcome.post = true;
    outcome.wparam = kServiceLostWord;
    outcome.lparam = 0;
    return outcome;
  }
  outcome.post = ReadSummaryAnswer(buffer, length, &outcome.wparam,
                                   &outcome.lparam);
  return outcome;
}

std::string MessageTraceLine(uint32_t message, uint32_t wparam,
                             uint32_t lparam) {
  return FormatText("MSG:%08X WPARAM:%08X LPARAM:%08X\r\n", message, wparam,
                    lparam);
}

}  // namespace zep
