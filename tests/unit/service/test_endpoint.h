// Loopback endpoints of the tests, on system-chosen ports or near a test
// port (47xxx), never on the service's fixed ports: a plain endpoint that
// sends anywhere and receives from anyone, and a client whose peer is one
// worker's port.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "udp.h"

namespace zep {

/// An endpoint of the test on a port near `port` (0: any), taking
/// datagrams from anyone.
class TestEndpoint {
 public:
  explicit TestEndpoint(int port) {
    opened_ = OpenEndpoint(&endpoint_, port) > 0;
  }
  ~TestEndpoint() { CloseEndpoint(&endpoint_); }
  TestEndpoint(const TestEndpoint&) = delete;
  TestEndpoint& operator=(const TestEndpoint&) = delete;

  bool opened() const { return opened_; }
  uint16_t port() const { return endpoint_.bound_port; }
  UdpEndpoint* endpoint() { return &endpoint_; }

  /// The next datagram within `timeout_ms`; empty when none came.
  std::string Receive(int timeout_ms = 5000) {
    char buffer[2048];
    int received =
        ReceiveDatagram(&endpoint_, buffer, sizeof buffer, timeout_ms);
    return received > 0 ? std::string(buffer, received) : std::string();
  }

  int Send(int port, const std::string& bytes) {
    SetPeerPort(&endpoint_, static_cast<uint16_t>(port));
    return SendToPeer(&endpoint_, bytes.data(), static_cast<int>(bytes.size()));
  }

 private:
  UdpEndpoint endpoint_;
  bool opened_ = false;
};

/// A client of a worker: an endpoint of its own on a system-chosen port
/// that sends to the worker's port.
class LoopbackClient {
 public:
  /// Generous: a binary UPS exchange at 2400 bit/s takes about a second.
  static constexpr int kWaitMs = 10000;

  explicit LoopbackClient(int worker_port)
      : endpoint_(0), worker_port_(worker_port) {}

  void Send(const std::string& bytes) {
    ASSERT_EQ(static_cast<int>(bytes.size()),
              endpoint_.Send(worker_port_, bytes));
  }
  /// Whether a datagram arrives within `ms`.
  bool Arrives(int ms) { return WaitReadable(endpoint_.endpoint(), ms) > 0; }
  /// The next datagram ("" for an empty one), or "<nothing>" after the wait.
  std::string Receive() {
    if (!Arrives(kWaitMs)) return "<nothing>";
    return endpoint_.Receive(0);
  }
  std::string Ask(const std::string& request) {
    Send(request);
    return Receive();
  }

 private:
  TestEndpoint endpoint_;
  int worker_port_;
};

}  // namespace zep
