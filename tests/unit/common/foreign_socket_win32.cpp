#include <winsock2.h>

#include <cstring>

#include "foreign_socket.h"

namespace zep {
namespace test_support {

int SendFromForeignSocket(uint16_t port, const void* bytes, int length,
                          uint16_t* from_port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
  int sent = -1;
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s != INVALID_SOCKET) {
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
      *from_port = ntohs(a.sin_port);
      a.sin_port = htons(port);
      sent = ::sendto(s, static_cast<const char*>(bytes), length, 0,
                      reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    closesocket(s);
  }
  WSACleanup();
  return sent;
}

}  // namespace test_support
}  // namespace zep
