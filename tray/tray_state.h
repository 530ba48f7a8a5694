// What the tray program knows of the service, kept by the window's thread
// only: the last event notification shown, whether the UPS model has been
// learnt, the text that becomes the tooltip when a balloon ends, and
// whether polling runs.
#pragma once

#include <cstdint>
#include <string>

namespace zep {

/// The longest text kept in last_message, in bytes (a 260-byte field).
constexpr size_t kLastMessageBytes = 259;

struct TrayState {
  /// wParam and lParam of the last event notification shown; -1 (all bits
  /// set) when none has been, or when the service view was reset.
  uint32_t last_event_word = 0xFFFFFFFFu;
  uint32_t last_event_time = 0xFFFFFFFFu;
  /// -1 while the UPS model is not known (or was lost); 0 once learnt.
  int identity_state = -1;
  /// The last event text or model; at most kLastMessageBytes bytes.
  std::string last_message;
  bool polling_on = false;
};

/// Back to "model unknown", so that the next summary is shown even when it
/// equals the last one: after a failed event query and after the shell's
/// taskbar was re-created.
void ForgetService(TrayState* state);

/// Stores `text` as last_message, cut on a character boundary.
void SetLastMessage(TrayState* state, const std::string& text);

}  // namespace zep
