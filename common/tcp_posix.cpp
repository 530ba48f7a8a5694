// BSD sockets behind tcp.h. Sockets are made non-blocking and close-on-exec
// in one step; poll() is used so that descriptor numbers above FD_SETSIZE
// are no danger; sends never raise SIGPIPE.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "tcp.h"

namespace zep {
namespace tcp {
namespace {

constexpr int kBacklog = 16;

int Descriptor(SocketHandle socket) { return static_cast<int>(socket); }

// The address as a socket address of its family; false when it is not a
// numeric IPv4 or IPv6 address.
bool NumericAddress(const char* text, uint16_t port, sockaddr_storage* out,
                    socklen_t* length) {
  std::memset(out, 0, sizeof *out);
  sockaddr_in* v4 = reinterpret_cast<sockaddr_in*>(out);
  if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    *length = sizeof *v4;
    return true;
  }
  sockaddr_in6* v6 = reinterpret_cast<sockaddr_in6*>(out);
  if (inet_pton(AF_INET6, text, &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    *length = sizeof *v6;
    return true;
  }
  return false;
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const sockaddr_in* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
  }
  return text;
}

std::string ErrorText(int error) { return std::strerror(error); }

}  // namespace

int StartLibrary() { return 0; }

void CleanupLibrary() {}

SocketHandle Listen(const char* address, uint16_t port, std::string* error) {
  sockaddr_storage a;
  socklen_t length = 0;
  if (address == nullptr || !NumericAddress(address, port, &a, &length)) {
    if (error != nullptr) *error = "not a numeric IPv4 or IPv6 address";
    return kNoSocket;
  }
  int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error != nullptr) *error = ErrorText(errno);
    return kNoSocket;
  }
  // Lets a restarted service listen again while old connections linger in
  // TIME_WAIT; on Linux it never lets two listeners share a port.
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (a.ss_family == AF_INET6) {
    setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
      ::listen(fd, kBacklog) != 0) {
    if (error != nullptr) *error = ErrorText(errno);
    ::close(fd);
    return kNoSocket;
  }
  return static_cast<SocketHandle>(fd);
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_storage a;
  socklen_t length = sizeof a;
  std::memset(&a, 0, sizeof a);
  if (::getsockname(Descriptor(socket), reinterpret_cast<sockaddr*>(&a),
                    &length) != 0) {
    return 0;
  }
  if (a.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
  }
  if (a.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
  }
  return 0;
}

SocketHandle Accept(SocketHandle listener, std::string* peer) {
  for (;;) {
    sockaddr_storage a;
    socklen_t length = sizeof a;
    std::memset(&a, 0, sizeof a);
    int fd = ::accept4(Descriptor(listener), reinterpret_cast<sockaddr*>(&a),
                       &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      if (peer != nullptr) *peer = AddressText(a);
      return static_cast<SocketHandle>(fd);
    }
    // A connection that was reset while it waited is skipped.
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return kNoSocket;
  }
}

SocketHandle Connect(const char* address, uint16_t port) {
  sockaddr_storage a;
  socklen_t length = 0;
  if (address == nullptr || !NumericAddress(address, port, &a, &length)) {
    return kNoSocket;
  }
  int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoSocket;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), length) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  return static_cast<SocketHandle>(fd);
}

int Receive(SocketHandle socket, void* buffer, int size) {
  for (;;) {
    ssize_t n =
        ::recv(Descriptor(socket), buffer, static_cast<size_t>(size), 0);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    return kFailed;
  }
}

int Send(SocketHandle socket, const void* bytes, int length) {
  for (;;) {
    ssize_t n = ::send(Descriptor(socket), bytes, static_cast<size_t>(length),
                       MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kWouldBlock;
    return kFailed;
  }
}

void Close(SocketHandle socket) {
  if (socket == kNoSocket) return;
  ::close(Descriptor(socket));
}

int Wait(WaitEntry* entries, int count, int timeout_ms) {
  if (count < 0 || count > kMaxWaitEntries) return -1;
  pollfd fds[kMaxWaitEntries];
  for (int i = 0; i < count; ++i) {
    fds[i].fd = Descriptor(entries[i].socket);
    fds[i].events = static_cast<short>((entries[i].want_read ? POLLIN : 0) |
                                       (entries[i].want_write ? POLLOUT : 0));
    fds[i].revents = 0;
    entries[i].readable = false;
    entries[i].writable = false;
  }
  int rc;
  do {
    rc = ::poll(fds, static_cast<nfds_t>(count),
                timeout_ms < 0 ? 0 : timeout_ms);
  } while (rc < 0 && errno == EINTR);
  if (rc <= 0) return rc < 0 ? -1 : 0;
  for (int i = 0; i < count; ++i) {
    const short r = fds[i].revents;
    // A hang-up or an error shows as readable: the read then reports it.
    entries[i].readable = (r & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0;
    entries[i].writable = (r & POLLOUT) != 0;
  }
  return rc;
}

}  // namespace tcp
}  // namespace zep
