#include "protocol/ups_io.h"

#include <cstring>

#include "protocol/serial_link.h"
#include "protocol/text_scan.h"
#include "trace.h"

namespace zep {

namespace {

// The reply wait: a poll every 50 ms; a reply must begin within 20 polls
// and is complete after 2 polls without growth.
constexpr int kReplyInterval = 50;
constexpr int kReplyFirstPolls = 20;
constexpr int kReplyAfterPolls = 2;

// Room for the longest reply taken and its terminating NUL.
constexpr size_t kBufferSize = 1280;
static_assert(kBufferSize > kUpsReplyMost, "reply and NUL must fit");
static_assert(kBufferSize > kUpsCommandMaximum, "command and NUL must fit");

}  // namespace

UpsIoResult HandleUpsCommand(Translator& translator, const uint8_t* command,
                             size_t length) {
  UpsIoResult result;
  char buffer[kBufferSize];
  if (command == nullptr) length = 0;
  if (length > kUpsCommandMaximum) length = kUpsCommandMaximum;
  if (length > 0) std::memcpy(buffer, command, length);
  buffer[length] = '\0';
  TraceFormat("%s\n", buffer);

  int sent = TranslateCommand(translator, buffer, static_cast<int>(length),
                              sizeof buffer);
  if (sent <= 0) return result;

  // -1 means the port could not be read at all: no reply either.
  int waiting = translator.link.RecvChars(kReplyInterval, kReplyFirstPolls,
                                          kReplyAfterPolls, kUpsReplyMost);
  if (waiting <= 0) return result;

  int answer = TranslateReply(translator, buffer, waiting, sizeof buffer);
  result.answered = true;
  if (answer < 0) {
    result.text = "NG";
  } else {
    // The answer goes out as a text: up to its first NUL.
    size_t n = static_cast<size_t>(answer) < sizeof buffer
                   ? static_cast<size_t>(answer)
                   : sizeof buffer - 1;
    result.text.assign(buffer, BoundedLength(buffer, n));
  }
  if (!result.text.empty()) TraceFormat("%s\n", result.text.c_str());
  return result;
}

}  // namespace zep
