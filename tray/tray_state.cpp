#include "tray_state.h"

#include "shell_text.h"

namespace zep {

void ForgetService(TrayState* state) {
  state->last_event_word = 0xFFFFFFFFu;
  state->last_event_time = 0xFFFFFFFFu;
  state->identity_state = -1;
}

void SetLastMessage(TrayState* state, const std::string& text) {
  state->last_message = CutCp932Bytes(text, kLastMessageBytes);
}

}  // namespace zep
