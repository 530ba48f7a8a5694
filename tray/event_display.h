// The event notification: which icon, balloon icon and texts a level and a
// category give, and the filter that shows each summary only once.
#pragma once

#include <cstdint>
#include <string>

#include "message_files.h"
#include "tray_state.h"

namespace zep {

/// The balloon icon flags of the shell (NIIF_*).
constexpr int kBalloonInfo = 1;
constexpr int kBalloonWarning = 2;
constexpr int kBalloonError = 3;
constexpr int kBalloonUser = 4;  // the balloon shows the tray icon itself

/// The category of a lost UPS link, shown with the no-communication icon
/// whatever its level.
constexpr int kLinkLostCategory = 50;

enum class DisplayState { kInformation, kCaution, kFault, kNoCommunication };

/// One row of the state table.
struct StateRow {
  DisplayState state;
  int icon;
  int balloon_flag;
};

/// The row of a notification level: 1 Information, 2 Caution, 3 Fault, 0
/// and 0xFFFF (and anything else) communication abnormal.
StateRow StateForLevel(uint32_t level);

/// The same-summary filter. False when wparam and lparam equal the last
/// notification shown (nothing happens at all); else they are stored and
/// the notification is shown.
bool TakeEventNotification(TrayState* state, uint32_t wparam,
                           uint32_t lparam);

/// What a notification shows.
struct EventDisplay {
  int icon = 0;
  int balloon_flag = 0;
  /// The level's text (levels 0 and 0xFFFF as 3); empty when the level
  /// table has none.
  std::string title;
  /// The date and time, a blank, then the category's text ("Unknown" or
  /// category 107 when the table has none); at most 259 bytes.
  std::string text;
};

/// `date_time` is the date, a blank and the time as the user's locale
/// writes them (at most 127 bytes).
EventDisplay BuildEventDisplay(const MessageTables& tables, uint32_t wparam,
                               const std::string& date_time);

/// Whether notifications show balloons (ZEP_POPUP of 1 or more) rather
/// than the tooltip and flashing.
bool PopupsWanted(int popup_setting);

}  // namespace zep
