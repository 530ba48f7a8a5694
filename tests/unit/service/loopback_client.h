// A client of a worker in the tests: an endpoint of its own on a
// system-chosen loopback port, whose peer is the worker's port.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "udp.h"

namespace zep {

class LoopbackClient {
 public:
  /// Generous: a binary UPS exchange at 2400 bit/s takes about a second.
  static constexpr int kWaitMs = 10000;

  explicit LoopbackClient(int worker_port) {
    OpenEndpoint(&endpoint_, 0);
    SetPeerPort(&endpoint_, static_cast<uint16_t>(worker_port));
  }
  ~LoopbackClient() { CloseEndpoint(&endpoint_); }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  void Send(const std::string& bytes) {
    ASSERT_EQ(
        static_cast<int>(bytes.size()),
        SendToPeer(&endpoint_, bytes.data(), static_cast<int>(bytes.size())));
  }
  /// Whether a datagram arrives within `ms`.
  bool Arrives(int ms) { return WaitReadable(&endpoint_, ms) > 0; }
  /// The next datagram ("" for an empty one), or "<nothing>" after the wait.
  std::string Receive() {
    char buffer[2048];
    if (!Arrives(kWaitMs)) return "<nothing>";
    int n = ReceiveDatagram(&endpoint_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
  }
  std::string Ask(const std::string& request) {
    Send(request);
    return Receive();
  }

 private:
  UdpEndpoint endpoint_;
};

}  // namespace zep
