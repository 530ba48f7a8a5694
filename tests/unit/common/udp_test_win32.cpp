// What the Winsock sockets promise beyond udp.h: batch files never inherit
// them, and no other socket can take a share of their port (which would let
// it send datagrams that look like ours, the stop signal included).
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "udp.h"

namespace zep {
namespace {

// Whether a socket with SO_REUSEADDR can bind `address`:`port` beside ours.
bool SecondBindWorks(uint32_t address, uint16_t port) {
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
             sizeof on);
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  closesocket(s);
  return bound;
}

TEST(UdpWin32Socket, NotInheritedAndNotShared) {
  UdpEndpoint e;
  ASSERT_GT(OpenEndpoint(&e, 0), 0);
  DWORD flags = HANDLE_FLAG_INHERIT;
  ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(e.socket), &flags));
  EXPECT_EQ(0u, flags & HANDLE_FLAG_INHERIT);
  EXPECT_FALSE(SecondBindWorks(INADDR_LOOPBACK, e.bound_port));
  EXPECT_FALSE(SecondBindWorks(INADDR_ANY, e.bound_port));
  CloseEndpoint(&e);
}

}  // namespace
}  // namespace zep
