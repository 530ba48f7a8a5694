// Local UDP messaging on 127.0.0.1: the endpoint record, opening with a
// downward port walk, sending, receiving with a time-out and the stop signal,
// one-shot sends to a fixed port, the XOR frame checksum, and the two client
// helpers with which zepg and zepe put framed requests to the service.
//
// Local datagrams are untrusted: any local program can send them. An
// endpoint marked `internal_only` takes datagrams only from ports that this
// process's own sockets are bound to (the process-wide own-port set that
// OpenEndpoint and CloseEndpoint keep); others are dropped with a trace line
// while the wait goes on. Datagrams longer than the receive buffer are
// dropped the same way instead of failing the receive.
#pragma once

#include <cstdint>

#include "trace_budget.h"

namespace zep {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

/// Ports of the service's workers, slot 0 to 5, when all are free.
constexpr int kUpsIoPort = 60059;
constexpr int kMonitorPort = 60058;
constexpr int kEventPort = 60057;
constexpr int kMeterPort = 60056;
constexpr int kExternalPort = 60055;
constexpr int kConfigPort = 60054;

/// The result of the endpoint operations for a failed socket call (a wait,
/// send or receive the platform refused), kept apart from -1, which means a
/// missing endpoint and, for a receive, the stop signal.
constexpr int kSocketError = -2;

struct UdpEndpoint {
  SocketHandle socket = kNoSocket;
  /// The port asked for and bound, host order; 0 when closed or when the
  /// system chose the port.
  uint16_t own_port = 0;
  /// Where SendToPeer sends (host order): first the endpoint's own address,
  /// then the sender of each received datagram; clients set it by hand.
  uint32_t peer_address = 0x7F000001;
  uint16_t peer_port = 0;
  /// The port the socket is really bound to (also for system-chosen ports).
  uint16_t bound_port = 0;
  /// Accept datagrams only from this process's own sockets.
  bool internal_only = false;
  /// The trace lines of dropped datagrams: others decide how many come.
  TraceBudget drop_traces;
};

/// Opens the socket and binds 127.0.0.1 at `requested_port`, walking down one
/// port at a time (up to 60 tries; 0 stays 0, letting the system choose).
/// Returns the socket handle (> 0), -1 for a missing endpoint or no free
/// port (the socket then stays in the record until CloseEndpoint), -2 when
/// the socket cannot be created, -3 when the socket library refuses to start.
/// A requested port outside 0..65535 gives -1; a record that still holds a
/// socket has it closed first. The bound port joins the own-port set.
SocketHandle OpenEndpoint(UdpEndpoint* endpoint, int requested_port);

/// Closes the socket if there is one; socket -1, own port 0 afterwards. Its
/// port leaves the own-port set before the socket is closed.
void CloseEndpoint(UdpEndpoint* endpoint);

/// Points the peer at 127.0.0.1:`port`.
void SetPeerPort(UdpEndpoint* endpoint, uint16_t port);

/// The number of bytes sent; 0 without a socket, -1 for a missing endpoint
/// (or null bytes, or a negative length), kSocketError when the send fails.
int SendToPeer(UdpEndpoint* endpoint, const void* bytes, int length);

/// > 0 readable, 0 time-out (or no socket), kSocketError when the wait
/// fails; -1 missing endpoint. A negative time-out waits without limit.
int WaitReadable(UdpEndpoint* endpoint, int timeout_ms);

/// The datagram's length (> 0); 0 on time-out, for an empty datagram from a
/// port other than the endpoint's own, and for a connection-reset report;
/// -1 for the stop signal (an empty datagram from the endpoint's own port,
/// never on an endpoint with own port 0) and for a missing endpoint or
/// buffer; kSocketError for socket errors. A negative time-out waits
/// without limit. Datagrams that are dropped (longer than `size`, or foreign
/// on an internal_only endpoint) leave a trace line (a few at once, then one
/// a second; see TraceBudget) and the wait goes on for
/// the rest of the time-out; they do not change the peer. An accepted
/// datagram makes its sender the peer. The buffer is not terminated.
int ReceiveDatagram(UdpEndpoint* endpoint, void* buffer, int size,
                    int timeout_ms);

/// XOR of the bytes; 0 for a count of 0.
uint8_t FrameChecksum(const void* bytes, int count);

/// Sends an empty datagram from the endpoint's socket to its own port.
/// Nothing for a missing endpoint, no socket, or own port 0.
void SendStopSignal(UdpEndpoint* endpoint);

/// Sends one datagram to 127.0.0.1:`port` from a long-lived socket of the
/// process, which counts as one of its own (so internal ports accept it) and
/// discards whatever comes back to it. Opened on first use (starting the
/// socket library if need be); any thread may call it. Returns the number
/// of bytes sent, -1 when no socket could be created or the arguments are
/// unusable (port outside 1..65535, null bytes, negative length), or
/// kSocketError when the send fails.
int SendToLocalPort(int port, const void* bytes, int length);

/// Whether `port` is bound by one of this process's open sockets.
bool IsOwnPort(uint16_t port);

/// Closes the one-shot sender and releases the socket library (WSACleanup).
void ReleaseSocketLibrary();

/// Client text query: drains the endpoint, sends the 13-byte request (kind,
/// identifier, selector) to the peer and waits 500 ms. Copies the text into
/// `out` (at least 261 bytes) and returns its length, or -1. The request goes
/// to the peer the caller set (draining does not move it), and only an
/// answer from that peer counts; other datagrams are dropped while the wait
/// goes on.
int RequestText(char* out, UdpEndpoint* endpoint, int kind, int32_t identifier,
                int32_t selector);

/// Client frame request: sends `length` payload bytes (0 to 255) from
/// `buffer` as a type 2 frame, waits `timeout_ms`, and copies the answer
/// payload followed by two zero bytes back into `buffer` (which must hold 261
/// bytes). Returns the answer payload length + 2, or -1. Only an answer from
/// the peer counts, as for RequestText.
int RequestFrame(uint8_t* buffer, UdpEndpoint* endpoint, int length,
                 int timeout_ms);

}  // namespace zep
