#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "foreign_socket.h"

namespace zep {
namespace test_support {

int SendFromForeignSocket(uint16_t port, const void* bytes, int length,
                          uint16_t* from_port) {
  int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a;
  std::memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  int sent = -1;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
    *from_port = ntohs(a.sin_port);
    a.sin_port = htons(port);
    sent = static_cast<int>(::sendto(fd, bytes, static_cast<size_t>(length), 0,
                                     reinterpret_cast<sockaddr*>(&a), sizeof a));
  }
  ::close(fd);
  return sent;
}

}  // namespace test_support
}  // namespace zep
