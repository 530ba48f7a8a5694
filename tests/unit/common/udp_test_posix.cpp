// The POSIX side of the UDP tests: the foreign sender, and the promises the
// sockets keep beyond udp.h (children never inherit them; no other socket
// can share their port and so send datagrams that look like ours).
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// Binds a raw socket with SO_REUSEADDR; -1 when that fails.
int RawSocket(uint32_t address, uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a = Address(address, port);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  ::close(fd);
  return -1;
}

TEST(UdpPosixSocket, CloseOnExecAndNotShared) {
  UdpEndpoint e;
  ASSERT_GT(OpenEndpoint(&e, 0), 0);
  EXPECT_NE(0, fcntl(static_cast<int>(e.socket), F_GETFD) & FD_CLOEXEC);
  EXPECT_EQ(-1, RawSocket(INADDR_LOOPBACK, e.bound_port));
  EXPECT_EQ(-1, RawSocket(INADDR_ANY, e.bound_port));
  CloseEndpoint(&e);
}

}  // namespace

namespace test_support {

int SendFromForeignSocket(uint16_t port, const void* bytes, int length,
                          uint16_t* from_port) {
  int fd = RawSocket(INADDR_LOOPBACK, 0);
  if (fd < 0) return -1;
  sockaddr_in a;
  socklen_t size = sizeof a;
  int sent = -1;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
    *from_port = ntohs(a.sin_port);
    a = Address(INADDR_LOOPBACK, port);
    sent = static_cast<int>(::sendto(fd, bytes, static_cast<size_t>(length), 0,
                                     reinterpret_cast<sockaddr*>(&a), sizeof a));
  }
  ::close(fd);
  return sent;
}

}  // namespace test_support
}  // namespace zep
