// BSD sockets behind udp_socket.h. Every socket is close-on-exec, so the
// scripts the service starts never inherit one. poll() is used instead of
// select() so that descriptor numbers above FD_SETSIZE are no danger.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "process.h"
#include "udp_socket.h"

namespace zep {
namespace udp_socket {
namespace {

int Descriptor(SocketHandle socket) { return static_cast<int>(socket); }

sockaddr_in LoopbackAddress(uint32_t address, uint16_t port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

}  // namespace

int StartLibrary() { return 0; }

void CleanupLibrary() {}

SocketHandle Open() {
#if defined(SOCK_CLOEXEC)
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
#else
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
#endif
  if (fd < 0) return kNoSocket;
  if (fd == 0) {
    // Handles are promised to be greater than 0 (callers test "> 0"); this
    // happens only when standard input was closed.
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    if (moved < 0) return kNoSocket;
    fd = moved;
  }
  return static_cast<SocketHandle>(fd);
}

void Close(SocketHandle socket) {
  if (socket == kNoSocket) return;
  ::close(Descriptor(socket));
}

int BindLoopback(SocketHandle socket, uint16_t port) {
  sockaddr_in a = LoopbackAddress(kLoopbackAddress, port);
  int rc =
      ::bind(Descriptor(socket), reinterpret_cast<sockaddr*>(&a), sizeof a);
  return rc == 0 ? 0 : -1;
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in a;
  socklen_t length = sizeof a;
  std::memset(&a, 0, sizeof a);
  if (::getsockname(Descriptor(socket), reinterpret_cast<sockaddr*>(&a),
                    &length) != 0 ||
      a.sin_family != AF_INET) {
    return 0;
  }
  return ntohs(a.sin_port);
}

int SendTo(SocketHandle socket, const void* bytes, int length, uint32_t address,
           uint16_t port) {
  sockaddr_in a = LoopbackAddress(address, port);
  for (;;) {
    ssize_t n = ::sendto(Descriptor(socket), bytes, static_cast<size_t>(length),
                         0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    if (n >= 0) return static_cast<int>(n);
    if (errno != EINTR) return -1;
  }
}

int WaitReadable(const SocketHandle* sockets, int count, int timeout_ms) {
  if (count < 1 || count > 2) return -1;
  const int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  int wait_ms = timeout_ms < 0 ? -1 : timeout_ms;
  for (;;) {
    pollfd p[2];
    for (int i = 0; i < count; ++i) {
      p[i].fd = Descriptor(sockets[i]);
      p[i].events = POLLIN;
      p[i].revents = 0;
    }
    int rc = ::poll(p, static_cast<nfds_t>(count), wait_ms);
    if (rc > 0) {
      int mask = 0;
      for (int i = 0; i < count; ++i) {
        if ((p[i].revents & POLLNVAL) != 0) return -1;
        if (p[i].revents != 0) mask |= 1 << i;
      }
      return mask;
    }
    if (rc == 0) return 0;
    if (errno != EINTR) return -1;
    if (timeout_ms >= 0) {
      int64_t left = deadline - MonotonicMilliseconds();
      wait_ms = left > 0 ? static_cast<int>(left) : 0;
    }
  }
}

Received ReceiveFrom(SocketHandle socket, void* buffer, int size) {
  Received r;
  char spare;
  void* target = size > 0 ? buffer : &spare;
  for (;;) {
    sockaddr_in from;
    socklen_t from_length = sizeof from;
    std::memset(&from, 0, sizeof from);
    // MSG_TRUNC makes the result the datagram's real length, so a datagram
    // longer than the buffer is seen; MSG_DONTWAIT keeps a spurious
    // readiness from blocking the caller.
    ssize_t n = ::recvfrom(Descriptor(socket), target,
                           static_cast<size_t>(size), MSG_TRUNC | MSG_DONTWAIT,
                           reinterpret_cast<sockaddr*>(&from), &from_length);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        r.status = ReceiveStatus::kWouldBlock;
      } else if (errno == ECONNREFUSED) {
        r.status = ReceiveStatus::kReset;
      } else {
        r.status = ReceiveStatus::kError;
      }
      return r;
    }
    if (from_length >= sizeof from && from.sin_family == AF_INET) {
      r.address = ntohl(from.sin_addr.s_addr);
      r.port = ntohs(from.sin_port);
    }
    r.length = n > size ? size : static_cast<int>(n);
    r.status = n > size ? ReceiveStatus::kTooLong : ReceiveStatus::kDatagram;
    return r;
  }
}

}  // namespace udp_socket
}  // namespace zep
