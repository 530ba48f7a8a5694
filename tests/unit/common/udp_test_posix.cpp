// What the POSIX sockets promise beyond udp.h: children never inherit them,
// and no other socket can take a share of their port.
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "udp.h"

namespace zep {
namespace {

// Whether a socket with SO_REUSEADDR can bind `address`:`port` beside ours.
bool SecondBindWorks(uint32_t address, uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return bound;
}

TEST(UdpPosixSocket, CloseOnExecAndNotShared) {
  UdpEndpoint e;
  ASSERT_GT(OpenEndpoint(&e, 0), 0);
  int flags = fcntl(static_cast<int>(e.socket), F_GETFD);
  EXPECT_NE(0, flags & FD_CLOEXEC);
  EXPECT_FALSE(SecondBindWorks(INADDR_LOOPBACK, e.bound_port));
  EXPECT_FALSE(SecondBindWorks(INADDR_ANY, e.bound_port));
  CloseEndpoint(&e);
}

}  // namespace
}  // namespace zep
