// The polling tick: one exchange with the service per tick, and what it
// means for the tray. While the UPS model is unknown the tick asks for it;
// once known it asks for the event summary and turns the answer into the
// event notification the window posts to itself.
#pragma once

#include <cstdint>
#include <string>

#include "service_queries.h"
#include "tray_state.h"

namespace zep {

/// The notification posted when the service stops answering: category 102
/// ("service not responding") with level 0xFFFF, and the current time.
constexpr uint32_t kServiceLostWord = 0x0066FFFFu;

/// Polling period for a ZEP_GUI_CYCLE value (-1 when not set): the value
/// when it is 1000 ms or more, else 5000 ms.
int PollingPeriod(int gui_cycle);

/// The event notification's wParam for a level and a category.
uint32_t EventWord(uint32_t level, uint32_t category);

/// What a tick asks the window to do.
struct TickOutcome {
  /// The model was learnt: announce it, enable the information items and
  /// trim the working set.
  bool model_learnt = false;
  std::string model;
  /// Post the event notification with these parameters.
  bool post = false;
  uint32_t wparam = 0;
  uint32_t lparam = 0;
};

/// Reads a summary answer (`length` as RequestFrame returned it): "B", the
/// count 3, then the items of types 3, 4 and 5 (level, category, time), up
/// to the first item of another type. False when the answer is not of that
/// shape or its category has bit 15 set (the service has no summary yet),
/// else the notification's parameters.
bool ReadSummaryAnswer(const uint8_t* answer, int length, uint32_t* wparam,
                       uint32_t* lparam);

/// One tick against the service.
TickOutcome PollingTick(TrayState* state, ServiceQueries& service);

/// The trace line of a posted or received message.
std::string MessageTraceLine(uint32_t message, uint32_t wparam,
                             uint32_t lparam);

}  // namespace zep
