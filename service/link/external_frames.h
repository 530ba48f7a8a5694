// The external frames: the small checksummed request/response protocol that
// the tray program and the external module speak with the service's
// external command port. A frame is a length byte n, a frame ID, n payload
// bytes (the first is the sub-command) and the XOR of everything before it.
//
//   ID 1, command: "5" presents the access literal; the next command frame
//         (2 cancel, 5 group schedule, 0x20 test) is then carried out once,
//         as a UPS command text relayed through the monitor. A schedule
//         gives its seconds as whole minutes rounded up, at most 99 (the
//         two digits of the command); a longer time sends nothing.
//   ID 2, query:   0 looks up a message text, "B" fills in summary values.
//   ID 6:          the service's response.
//
// Frames arrive from any local program, so nothing here trusts them: every
// length is checked against what arrived, and a malformed frame is dropped
// with a trace line. This file holds no socket; the worker receives, calls
// HandleExternalFrame and sends what it gives back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "trace_budget.h"

namespace zep {

struct EventSummary;
struct MessageTables;

/// The external command thread's receive buffer.
constexpr int kExternalReceiveSize = 1024;
/// The answer to command frames and unknown IDs: length byte 255, frame ID,
/// 255 payload bytes and the checksum.
constexpr int kExternalLongAnswer = 258;
/// A made UPS command text: at most 127 characters and the terminator.
constexpr size_t kExternalCommandSize = 128;
/// The console line, terminator included (the longest line is 61).
constexpr size_t kExternalConsoleSize = 80;

/// Frame IDs.
constexpr uint8_t kExternalCommandFrame = 1;
constexpr uint8_t kExternalQueryFrame = 2;
constexpr uint8_t kExternalResponseFrame = 6;

/// The access literal a "5" frame carries after its sub-command: 15
/// characters and the terminating NUL, 16 bytes compared.
constexpr char kExternalAccessLiteral[] = "HarrowDynamoZEP";
constexpr int kExternalAccessLength = 16;

/// The one piece of state the external command thread keeps between frames:
/// a "5" frame with the right literal sets it, a "5" frame with any other
/// literal clears it, and every other command frame clears it after use, so
/// each command needs its own "5" frame before it. Queries leave it alone.
struct ExternalSession {
  bool authorised = false;
  /// Trace lines and console echoes of the frames: any local program
  /// decides how many frames come.
  TraceBudget traces;
};

/// What the handling reads. A null summary reads as "no event yet" (every
/// value -1); null tables make every text look-up fail.
struct ExternalSources {
  const EventSummary* summary = nullptr;
  const MessageTables* messages = nullptr;
};

/// What one frame gives: bytes to send back, a command to relay, and the
/// console line.
struct ExternalOutcome {
  /// The frame to send back to the client; answer_length 0: nothing.
  uint8_t answer[kExternalLongAnswer] = {};
  int answer_length = 0;
  /// The UPS command text to relay to the monitor; empty: none.
  char command[kExternalCommandSize] = {};
  /// The console line of a well-formed frame; empty for a dropped one.
  char console_line[kExternalConsoleSize] = {};
};

/// Handles the `size` received bytes of one external frame. Returns the
/// length of the answer to send (> 0), 0 when nothing is to be sent (the
/// frame may still have made a command), or -1 when the frame was dropped:
/// 3 bytes or fewer, a size other than its length byte + 3, or a wrong
/// checksum (a trace line says which). Never reads beyond `size`.
int HandleExternalFrame(ExternalSession& session,
                        const ExternalSources& sources, const uint8_t* frame,
                        int size, ExternalOutcome* outcome);

}  // namespace zep
