// Winsock 2 behind tcp.h. Listening sockets use Windows' default binding
// rules: a port another program listens on cannot be bound, a port whose
// closed connections still linger can (a restarted service listens again
// at once, which SO_EXCLUSIVEADDRUSE would refuse while they linger), and
// no SO_REUSEADDR lets anyone share the port. Sockets are not inherited by
// the batch files the service starts.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "tcp.h"

namespace zep {
namespace tcp {
namespace {

constexpr int kBacklog = 16;

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

bool NumericAddress(const char* text, uint16_t port, sockaddr_storage* out,
                    int* length) {
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
    inet_ntop(AF_INET, const_cast<in_addr*>(&v4->sin_addr), text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, const_cast<in6_addr*>(&v6->sin6_addr), text,
              sizeof text);
  }
  return text;
}

std::string ErrorText(int error) {
  switch (error) {
    case WSAEADDRINUSE:
      return "address in use";
    case WSAEADDRNOTAVAIL:
      return "address not available";
    case WSAEACCES:
      return "access denied";
    default:
      return "Winsock error " + std::to_string(error);
  }
}

void MakePrivateAndNonBlocking(SOCKET s) {
  // Best effort: a socket that cannot be made private still works.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
}

}  // namespace

int StartLibrary() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void CleanupLibrary() { WSACleanup(); }

SocketHandle Listen(const char* address, uint16_t port, std::string* error) {
  sockaddr_storage a;
  int length = 0;
  if (address == nullptr || !NumericAddress(address, port, &a, &length)) {
    if (error != nullptr) *error = "not a numeric IPv4 or IPv6 address";
    return kNoSocket;
  }
  SOCKET s = ::socket(a.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    if (error != nullptr) *error = ErrorText(WSAGetLastError());
    return kNoSocket;
  }
  if (a.ss_family == AF_INET6) {
    DWORD v6_only = 1;
    setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY,
               reinterpret_cast<const char*>(&v6_only), sizeof v6_only);
  }
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), length) != 0 ||
      ::listen(s, kBacklog) != 0) {
    if (error != nullptr) *error = ErrorText(WSAGetLastError());
    closesocket(s);
    return kNoSocket;
  }
  MakePrivateAndNonBlocking(s);
  return static_cast<SocketHandle>(s);
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_storage a;
  int length = sizeof a;
  std::memset(&a, 0, sizeof a);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&a), &length) !=
      0) {
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
    int length = sizeof a;
    std::memset(&a, 0, sizeof a);
    SOCKET s =
        ::accept(Native(listener), reinterpret_cast<sockaddr*>(&a), &length);
    if (s != INVALID_SOCKET) {
      MakePrivateAndNonBlocking(s);
      if (peer != nullptr) *peer = AddressText(a);
      return static_cast<SocketHandle>(s);
    }
    // A connection that was reset while it waited is skipped.
    if (WSAGetLastError() == WSAECONNRESET) continue;
    return kNoSocket;
  }
}

SocketHandle Connect(const char* address, uint16_t port) {
  sockaddr_storage a;
  int length = 0;
  if (address == nullptr || !NumericAddress(address, port, &a, &length)) {
    return kNoSocket;
  }
  SOCKET s = ::socket(a.ss_family, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), length) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  MakePrivateAndNonBlocking(s);
  return static_cast<SocketHandle>(s);
}

int Receive(SocketHandle socket, void* buffer, int size) {
  int n = ::recv(Native(socket), static_cast<char*>(buffer), size, 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

int Send(SocketHandle socket, const void* bytes, int length) {
  int n = ::send(Native(socket), static_cast<const char*>(bytes), length, 0);
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kFailed;
}

void Close(SocketHandle socket) {
  if (socket == kNoSocket) return;
  closesocket(Native(socket));
}

int Wait(WaitEntry* entries, int count, int timeout_ms) {
  if (count < 0 || count > kMaxWaitEntries) return -1;
  fd_set readable;
  fd_set writable;
  fd_set failed;
  FD_ZERO(&readable);
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  int asked = 0;
  for (int i = 0; i < count; ++i) {
    entries[i].readable = false;
    entries[i].writable = false;
    SOCKET s = Native(entries[i].socket);
    if (entries[i].want_read) FD_SET(s, &readable);
    if (entries[i].want_write) FD_SET(s, &writable);
    if (entries[i].want_read || entries[i].want_write) {
      FD_SET(s, &failed);
      ++asked;
    }
  }
  timeval limit;
  const int ms = timeout_ms < 0 ? 0 : timeout_ms;
  limit.tv_sec = ms / 1000;
  limit.tv_usec = (ms % 1000) * 1000;
  if (asked == 0) {
    // select refuses empty sets; the wait still lasts its time.
    Sleep(static_cast<DWORD>(ms));
    return 0;
  }
  int rc = select(0, &readable, &writable, &failed, &limit);
  if (rc == SOCKET_ERROR) return -1;
  int ready = 0;
  for (int i = 0; i < count; ++i) {
    SOCKET s = Native(entries[i].socket);
    // A failed socket shows as readable: the read then reports it.
    entries[i].readable = (entries[i].want_read && FD_ISSET(s, &readable)) ||
                          FD_ISSET(s, &failed);
    entries[i].writable = entries[i].want_write && FD_ISSET(s, &writable);
    if (entries[i].readable || entries[i].writable) ++ready;
  }
  return ready;
}

}  // namespace tcp
}  // namespace zep
