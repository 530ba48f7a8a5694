// A datagram from another local program, as far as the endpoints under test
// can tell: it leaves from a raw platform socket on 127.0.0.1 that the
// messaging layer never saw, so its port is not in the own-port set.
#pragma once

#include <cstdint>

namespace zep {
namespace test_support {

/// Sends one datagram to 127.0.0.1:`port` from a fresh raw socket on a
/// system-chosen port, stores that port in `from_port` and closes the
/// socket. Returns the number of bytes sent, or -1.
int SendFromForeignSocket(uint16_t port, const void* bytes, int length,
                          uint16_t* from_port);

}  // namespace test_support
}  // namespace zep
