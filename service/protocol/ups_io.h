// One command of the UPS I/O thread, from the received command text to the
// answer text, without the socket: the worker only receives, calls this and
// sends back what it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/ascii_commands.h"

namespace zep {

/// Commands longer than this are cut (the worker's datagrams are at most
/// this long).
constexpr size_t kUpsCommandMaximum = 1023;
/// Most bytes of a UPS reply taken per command.
constexpr int kUpsReplyMost = 1024;

struct UpsIoResult {
  /// false: the command gets no answer at all (it could not be sent or the
  /// UPS said nothing).
  bool answered = false;
  /// The answer text to send back (possibly empty).
  std::string text;
};

/// Traces the command, sends it to the UPS through the translator, waits
/// for the reply to arrive and go quiet, and turns it into the answer text;
/// "NG" (two characters, no CR) when the reply gives no answer of its own.
UpsIoResult HandleUpsCommand(Translator& translator, const uint8_t* command,
                             size_t length);

}  // namespace zep
