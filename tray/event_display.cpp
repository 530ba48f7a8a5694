#include "event_display.h"

#include "category_text.h"
#include "shell_text.h"
#include "tray_ids.h"

namespace zep {
namespace {

constexpr size_t kDateTimeBytes = 127;
constexpr size_t kEventTextBytes = 259;

struct LevelRow {
  uint32_t level;
  StateRow row;
};

constexpr LevelRow kLevelRows[] = {
    {1, {DisplayState::kInformation, ZEPG_ICON_INFORMATION, kBalloonUser}},
    {2, {DisplayState::kCaution, ZEPG_ICON_CAUTION, kBalloonWarning}},
    {3, {DisplayState::kFault, ZEPG_ICON_FAULT, kBalloonError}},
};
constexpr StateRow kNoCommunicationRow = {
    DisplayState::kNoCommunication, ZEPG_ICON_NO_COMMUNICATION, kBalloonError};

// Levels 0 and 0xFFFF have no text of their own; they read as Fault.
constexpr uint32_t kFaultLevel = 3;

}  // namespace

StateRow StateForLevel(uint32_t level) {
  for (const LevelRow& row : kLevelRows) {
    if (row.level == level) return row.row;
  }
  return kNoCommunicationRow;
}

bool TakeEventNotification(TrayState* state, uint32_t wparam,
                           uint32_t lparam) {
  if (wparam == state->last_event_word && lparam == state->last_event_time) {
    return false;
  }
  state->last_event_word = wparam;
  state->last_event_time = lparam;
  return true;
}

EventDisplay BuildEventDisplay(const MessageTables& tables, uint32_t wparam,
                               const std::string& date_time) {
  const uint32_t level = wparam & 0xFFFFu;
  const int category = static_cast<int>(wparam >> 16);
  EventDisplay display;
  const StateRow row = StateForLevel(level);
  display.icon = category == kLinkLostCategory ? ZEPG_ICON_NO_COMMUNICATION
                                               : row.icon;
  display.balloon_flag = row.balloon_flag;

  const uint32_t title_level =
      row.state == DisplayState::kNoCommunication ? kFaultLevel : level;
  char title[kMessageTextSize] = {};
  if (LookupMessage(tables, title, sizeof title, kKindLevel,
                    static_cast<int>(title_level), 0) >= 0) {
    display.title = title;
  }

  display.text = CutCp932Bytes(CutCp932Bytes(date_time, kDateTimeBytes) +
                                   " " +
                                   CategoryText(tables, category, "Unknown"),
                               kEventTextBytes);
  return display;
}

bool PopupsWanted(int popup_setting) { return popup_setting >= 1; }

}  // namespace zep
