// TCP for the service's network protocol server: listening sockets on a
// numeric address, non-blocking connections, and one wait over many
// sockets at once. Only the operating system's work lives behind this
// header (tcp_posix.cpp: BSD sockets and poll; tcp_win32.cpp: Winsock 2 and
// select); the server's rules live with the server.
//
// Every socket made here is non-blocking and is not inherited by the
// scripts the service starts.
#pragma once

#include <cstdint>
#include <string>

#include "udp.h"

namespace zep {
namespace tcp {

/// Starts the socket library for the caller. Winsock counts its starts, so
/// each successful start has its own CleanupLibrary, and the server's
/// sockets outlive the release that the workers' stop makes. 0 when it
/// started; POSIX needs no start.
int StartLibrary();
void CleanupLibrary();

/// A listening socket on `address` (an IPv4 or IPv6 literal such as
/// "127.0.0.1", "0.0.0.0" or "::1") and `port` (0: the system chooses).
/// It fails while another program listens on the port, not for closed
/// connections that still linger on it; an IPv6 socket takes IPv6 only,
/// so "::" and "0.0.0.0" can both be listened on.
/// kNoSocket on failure, with the reason in `*error`.
SocketHandle Listen(const char* address, uint16_t port, std::string* error);

/// The port a socket is bound to; 0 when it cannot be read.
uint16_t LocalPort(SocketHandle socket);

/// The next connection waiting on `listener`, with the peer's address as
/// text in `*peer`; kNoSocket when none is waiting or the accept failed.
SocketHandle Accept(SocketHandle listener, std::string* peer);

/// A connection to `address`:`port` (a numeric address), made with a
/// blocking connect and then switched to non-blocking; kNoSocket on
/// failure. For clients such as the tests.
SocketHandle Connect(const char* address, uint16_t port);

/// Results of Receive and Send besides a byte count.
constexpr int kWouldBlock = -1;
constexpr int kFailed = -2;

/// > 0 bytes received into `buffer`, 0 when the peer has closed its side,
/// kWouldBlock when nothing is there, kFailed for a reset or other failure.
int Receive(SocketHandle socket, void* buffer, int size);

/// >= 0 bytes sent, kWouldBlock when the socket takes nothing now, kFailed
/// for a failure (a peer that has gone included; it never raises a
/// signal).
int Send(SocketHandle socket, const void* bytes, int length);

void Close(SocketHandle socket);

/// One socket of a Wait: what is asked for, and what the wait found.
struct WaitEntry {
  SocketHandle socket = kNoSocket;
  bool want_read = false;
  bool want_write = false;
  /// Data, a connection to accept, the peer's close or a failure: the next
  /// Receive or Accept tells which.
  bool readable = false;
  bool writable = false;
};

/// The most entries one Wait takes (Winsock's select sets hold 64).
constexpr int kMaxWaitEntries = 60;

/// Waits up to `timeout_ms` (at least 0) until one of the first `count`
/// entries (at most kMaxWaitEntries) is ready, and marks what each is ready
/// for. Returns the number of entries ready, 0 on time-out, -1 when the
/// wait failed.
int Wait(WaitEntry* entries, int count, int timeout_ms);

}  // namespace tcp
}  // namespace zep
