// The narrow socket backend under the local UDP messaging of udp.h: one
// IPv4 datagram socket on the loopback address, with only the operating
// system's work in it. Argument checks, the port walk, the own-port set and
// the receive rules live in udp_common.cpp; udp_posix.cpp and udp_win32.cpp
// implement these functions. Internal to the common library.
#pragma once

#include <cstdint>

#include "udp.h"

namespace zep {
namespace udp_socket {

/// 127.0.0.1 in host order.
constexpr uint32_t kLoopbackAddress = 0x7F000001;

/// Starts the socket library (WSAStartup 2.0 on Windows). Returns 0 when it
/// started, otherwise the platform's failure code. POSIX needs no start.
int StartLibrary();

/// Releases the socket library once (WSACleanup on Windows).
void CleanupLibrary();

/// A new IPv4 datagram socket that child processes do not inherit and that
/// no other program can share a port with; kNoSocket on failure. The handle
/// is always greater than 0.
SocketHandle Open();

void Close(SocketHandle socket);

/// Binds the socket to 127.0.0.1:`port` (0: the system chooses). Returns 0
/// on success, -1 on failure (for instance the port is taken).
int BindLoopback(SocketHandle socket, uint16_t port);

/// The port the socket is bound to (getsockname), host order; 0 when it
/// cannot be read or the socket is not bound.
uint16_t LocalPort(SocketHandle socket);

/// Sends one datagram to `address`:`port` (host order). Returns the number
/// of bytes sent, or -1.
int SendTo(SocketHandle socket, const void* bytes, int length, uint32_t address,
           uint16_t port);

/// Waits until one of `count` sockets (1 or 2) is readable: bit i set when
/// `sockets[i]` is; 0 on time-out, < 0 on error. A negative time-out waits
/// without limit. Interrupted waits go on for the time that is left.
int WaitReadable(const SocketHandle* sockets, int count, int timeout_ms);

enum class ReceiveStatus {
  kDatagram,    ///< A datagram of `length` bytes (0 included) arrived.
  kReset,       ///< The platform reported a reset (an earlier send to a
                ///< port nobody listens on).
  kTooLong,     ///< The datagram did not fit the buffer and was dropped.
  kWouldBlock,  ///< Nothing was there after all.
  kError,       ///< Any other failure.
};

struct Received {
  ReceiveStatus status = ReceiveStatus::kError;
  int length = 0;
  /// The sender, host order (only for kDatagram and kTooLong).
  uint32_t address = 0;
  uint16_t port = 0;
};

/// Takes one datagram off the socket into `buffer` (`size` >= 0 bytes; the
/// buffer may be null when `size` is 0). Never writes past `size` bytes.
Received ReceiveFrom(SocketHandle socket, void* buffer, int size);

}  // namespace udp_socket
}  // namespace zep
