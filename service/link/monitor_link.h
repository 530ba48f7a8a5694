// The monitor's link endpoint: a socket of its own through which the port
// search, the relay and the monitor loop talk to the UPS I/O thread, one
// command text and one answer text at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "udp.h"

namespace zep {

class ManualResetEvent;

/// Room for one command or answer text: the UPS I/O thread takes and gives
/// at most 1023 bytes; one more for the NUL the readers put behind it.
constexpr int kLinkTextSize = 1025;

struct MonitorLink {
  UdpEndpoint endpoint;
  /// The port of the UPS I/O slot. A receive makes its sender the peer, so
  /// every send is addressed here again.
  uint16_t ups_io_port = 0;
  /// The service's stop event, looked at while an answer is awaited (the
  /// stop signal goes to the slot endpoint, not here); null: not looked at.
  const std::atomic<ManualResetEvent*>* stop_event = nullptr;
  /// The endpoint the stop signal comes to (the monitor's slot endpoint):
  /// while it is given, an answer wait sleeps until the answer or that
  /// endpoint has something, instead of looking at the stop event every
  /// 200 ms.
  UdpEndpoint* stop_watch = nullptr;
};

/// Receives on `endpoint` with `timeout_ms` again and again, dropping what
/// comes, until a receive brings nothing. Returns 0, or the negative result
/// of a receive that reported the stop signal (-1) or failed.
int DrainEndpoint(UdpEndpoint* endpoint, int timeout_ms);

/// Sends `length` bytes of `text` to the UPS I/O thread. Returns what
/// SendToPeer returns.
int SendToUpsIo(MonitorLink* link, const char* text, int length);

/// Receives one answer on the link within `timeout_ms` into `answer`
/// (kLinkTextSize bytes) and terminates it. Returns its length, 0 when none
/// came, or a negative value when the receive failed or the stop event was
/// set during the wait (-1), so that a long wait for a silent UPS does not
/// hold up the stop of the service.
int ReceiveAnswer(MonitorLink* link, char* answer, int timeout_ms);

/// Sends `command` (a NUL-terminated text, sent without the NUL) and
/// receives its answer (ReceiveAnswer).
int ExchangeWithUps(MonitorLink* link, const char* command, char* answer,
                    int timeout_ms);

/// An answer counts only when it holds a CR within its `length` bytes.
bool IsCompleteAnswer(const char* answer, int length);

/// An answer beginning with "NG": the UPS did not take the command.
bool IsRefusal(const char* answer, int length);

}  // namespace zep
