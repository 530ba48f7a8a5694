// The Windows side of the UDP tests: the foreign sender, and the promises
// the sockets keep beyond udp.h (batch files never inherit them; no other
// socket can share their port and so send datagrams that look like ours).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "foreign_socket.h"
#include "udp.h"

namespace zep {
namespace {

sockaddr_in Address(uint32_t address, uint16_t port) {
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

// Binds a raw socket with SO_REUSEADDR; INVALID_SOCKET when that fails. The
// caller has started the socket library.
SOCKET RawSocket(uint32_t address, uint16_t port) {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
             sizeof on);
  sockaddr_in a = Address(address, port);
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return s;
  closesocket(s);
  return INVALID_SOCKET;
}

TEST(UdpWin32Socket, NotInheritedAndNotShared) {
  UdpEndpoint e;
  ASSERT_GT(OpenEndpoint(&e, 0), 0);
  DWORD flags = HANDLE_FLAG_INHERIT;
  ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(e.socket), &flags));
  EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
  EXPECT_EQ(INVALID_SOCKET, RawSocket(INADDR_LOOPBACK, e.bound_port));
  EXPECT_EQ(INVALID_SOCKET, RawSocket(INADDR_ANY, e.bound_port));
  CloseEndpoint(&e);
}

}  // namespace

namespace test_support {

int SendFromForeignSocket(uint16_t port, const void* bytes, int length,
                          uint16_t* from_port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return -1;
  int sent = -1;
  SOCKET s = RawSocket(INADDR_LOOPBACK, 0);
  if (s != INVALID_SOCKET) {
    sockaddr_in a;
    int size = sizeof a;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
      *from_port = ntohs(a.sin_port);
      a = Address(INADDR_LOOPBACK, port);
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
