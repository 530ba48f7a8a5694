// The text command language as the simulated UPS speaks it: every command
// and every answer ends in CR. A table of command prefixes, looked up in
// order (the first row whose prefix begins the command wins, so "&C\r" is
// found before "C\r" and "&BQ\r" before "&B"), each with the function that
// builds the answer from the UPS's readings.
#pragma once

#include <cstddef>
#include <string>

#include "sim_state.h"
#include "ups_models.h"

namespace zep {

/// What a text answer is built from.
struct TextContext {
  const UpsModel* model = nullptr;
  Readings readings;
  /// Control commands are refused with "NG\r" instead of "OK\r".
  bool reject_controls = false;
};

/// Kinds of command rows.
enum class TextCommandKind {
  kQuery,    ///< asks for a value; the UPS changes nothing
  kControl,  ///< makes the UPS act (shutdown, cancel, test, schedule, mode)
  kUnknown,  ///< matches no row; answered "NG\r"
  kProbe,    ///< a binary request frame; a text UPS answers "NG\r"
};

struct TextReply {
  /// The answer, CR included.
  std::string answer;
  /// The table prefix that matched (for example "&S1\r", "S", "&Z"); "?"
  /// for an unknown command and "probe" for a binary request frame.
  std::string key;
  TextCommandKind kind = TextCommandKind::kUnknown;
};

/// Answers one complete request (CR included).
TextReply AnswerTextCommand(const std::string& command,
                            const TextContext& context);

/// Takes the next complete request off the front of `pending`: text up to and
/// including the first CR, or, when `pending` starts with the frame mark
/// 0xAB, the whole binary frame (its length byte says how long) and the CR
/// that follows it. Returns false while no request is complete.
bool TakeTextRequest(std::string* pending, std::string* request);

/// Requests longer than this without a CR are noise and are dropped.
constexpr size_t kMaxTextRequest = 512;

}  // namespace zep
