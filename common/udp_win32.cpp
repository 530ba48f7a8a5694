// Winsock 2 behind udp_socket.h. Sockets are not inherited by the batch
// files the programs start, and each binds its port exclusively, so that no
// other program can share a port of ours (and with it send datagrams that
// look like our own, the stop signal included).
#include <windows.h>
#include <winsock2.h>

#include <cstring>

#include "udp_socket.h"

namespace zep {
namespace udp_socket {
namespace {

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in LoopbackAddress(uint32_t address, uint16_t port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

}  // namespace

int StartLibrary() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 0), &data);
}

void CleanupLibrary() { WSACleanup(); }

SocketHandle Open() {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Best effort: a socket that cannot be made private still works.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&on), sizeof on);
  return static_cast<SocketHandle>(s);
}

void Close(SocketHandle socket) {
  if (socket == kNoSocket) return;
  closesocket(Native(socket));
}

int BindLoopback(SocketHandle socket, uint16_t port) {
  sockaddr_in a = LoopbackAddress(kLoopbackAddress, port);
  int rc = ::bind(Native(socket), reinterpret_cast<sockaddr*>(&a), sizeof a);
  return rc == 0 ? 0 : -1;
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in a;
  int length = sizeof a;
  std::memset(&a, 0, sizeof a);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&a), &length) !=
          0 ||
      a.sin_family != AF_INET) {
    return 0;
  }
  return ntohs(a.sin_port);
}

int SendTo(SocketHandle socket, const void* bytes, int length, uint32_t address,
           uint16_t port) {
  sockaddr_in a = LoopbackAddress(address, port);
  char empty = 0;
  const char* data = length > 0 ? static_cast<const char*>(bytes) : &empty;
  int n = ::sendto(Native(socket), data, length, 0,
                   reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n == SOCKET_ERROR ? -1 : n;
}

int WaitReadable(const SocketHandle* sockets, int count, int timeout_ms) {
  if (count < 1 || count > 2) return -1;
  for (;;) {
    fd_set readable;
    FD_ZERO(&readable);
    for (int i = 0; i < count; ++i) FD_SET(Native(sockets[i]), &readable);
    timeval limit;
    timeval* wait = nullptr;
    if (timeout_ms >= 0) {
      limit.tv_sec = timeout_ms / 1000;
      limit.tv_usec = (timeout_ms % 1000) * 1000;
      wait = &limit;
    }
    int rc = select(0, &readable, nullptr, nullptr, wait);
    if (rc == SOCKET_ERROR) return -1;
    if (rc == 0) return 0;
    int mask = 0;
    for (int i = 0; i < count; ++i) {
      if (FD_ISSET(Native(sockets[i]), &readable)) mask |= 1 << i;
    }
    // A positive result without our sockets marked is no answer; wait again.
    if (mask != 0) return mask;
  }
}

Received ReceiveFrom(SocketHandle socket, void* buffer, int size) {
  Received r;
  char spare = 0;
  char* target = size > 0 ? static_cast<char*>(buffer) : &spare;
  sockaddr_in from;
  int from_length = sizeof from;
  std::memset(&from, 0, sizeof from);
  int n = ::recvfrom(Native(socket), target, size, 0,
                     reinterpret_cast<sockaddr*>(&from), &from_length);
  if (from_length >= static_cast<int>(sizeof from) &&
      from.sin_family == AF_INET) {
    r.address = ntohl(from.sin_addr.s_addr);
    r.port = ntohs(from.sin_port);
  }
  if (n != SOCKET_ERROR) {
    r.status = ReceiveStatus::kDatagram;
    r.length = n;
    return r;
  }
  switch (WSAGetLastError()) {
    case WSAECONNRESET:  // 10054: an earlier send met a closed port.
      r.status = ReceiveStatus::kReset;
      break;
    case WSAEMSGSIZE:  // 10040: the datagram was cut to the buffer.
      r.status = ReceiveStatus::kTooLong;
      r.length = size;
      break;
    case WSAEWOULDBLOCK:
      r.status = ReceiveStatus::kWouldBlock;
      break;
    default:
      r.status = ReceiveStatus::kError;
      break;
  }
  return r;
}

}  // namespace udp_socket
}  // namespace zep
