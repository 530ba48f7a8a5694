// Local UDP messaging over real loopback sockets, on system-chosen ports or
// in 47000..47999. Expected frames and checksums are worked out by hand.
#include "udp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "foreign_socket.h"
#include "process.h"

namespace zep {
namespace {

using Bytes = std::vector<uint8_t>;
using test_support::SendFromForeignSocket;

constexpr int kLong = 5000;  // Only a failing test waits this out.

struct Endpoint {  // Closed at the end of its scope.
  explicit Endpoint(int port, bool internal = false) {
    record.internal_only = internal;
    handle = OpenEndpoint(&record, port);
  }
  ~Endpoint() { CloseEndpoint(&record); }
  UdpEndpoint* operator->() { return &record; }
  UdpEndpoint* get() { return &record; }
  UdpEndpoint record;
  SocketHandle handle;
};

int Send(Endpoint& from, uint16_t to, const Bytes& bytes) {
  SetPeerPort(from.get(), to);
  return SendToPeer(from.get(), bytes.data(), static_cast<int>(bytes.size()));
}

// The received bytes; the result of the receive in `result`.
Bytes Receive(Endpoint& at, int* result, int timeout_ms = kLong) {
  uint8_t buffer[1024];
  *result = ReceiveDatagram(at.get(), buffer, sizeof buffer, timeout_ms);
  return Bytes(buffer, buffer + (*result > 0 ? *result : 0));
}

TEST(UdpFrameChecksum, XorOfTheBytes) {
  const uint8_t bytes[] = {0x0A, 0x02, 0x00, 0x03, 0x78, 0x56,
                           0x34, 0x12, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(0x08, FrameChecksum(bytes, 3));
  EXPECT_EQ(0x02, FrameChecksum(bytes, 12));
  EXPECT_EQ(0x00, FrameChecksum(bytes, 0));
}

TEST(UdpOpen, WalksDownPastTakenPortsAndGivesUpAfterSixty) {
  Endpoint first(47059), second(47058);
  ASSERT_EQ(47059, first->own_port) << "47059 is used by another program";
  ASSERT_EQ(47058, second->own_port) << "47058 is used by another program";
  {
    Endpoint third(47059);
    EXPECT_EQ(third.handle, third->socket);
    EXPECT_EQ(47057, third->own_port);
    EXPECT_EQ(47057, third->bound_port);
    EXPECT_EQ(47057, third->peer_port);
    EXPECT_TRUE(IsOwnPort(47057));
    CloseEndpoint(third.get());
    EXPECT_EQ(kNoSocket, third->socket);
    EXPECT_EQ(0, third->own_port);
    EXPECT_FALSE(IsOwnPort(47057));
  }
  // Opening the record again closes its socket first: else 47059 would
  // still be taken and the walk would step down.
  ASSERT_EQ(first.handle, first->socket);
  EXPECT_GT(OpenEndpoint(first.get(), 47059), 0);
  EXPECT_EQ(47059, first->own_port);

  // With 47260..47202 taken the 60th try binds 47201; with it taken too,
  // the open fails and keeps its socket until CloseEndpoint.
  std::vector<std::unique_ptr<Endpoint>> held;
  for (int port = 47260; port > 47201; --port) {
    held.push_back(std::make_unique<Endpoint>(port));
    ASSERT_EQ(port, held.back()->record.own_port) << port << " is busy";
  }
  Endpoint last(47260);
  ASSERT_EQ(47201, last->own_port);
  UdpEndpoint none;
  EXPECT_EQ(-1, OpenEndpoint(&none, 47260));
  EXPECT_NE(kNoSocket, none.socket);
  EXPECT_EQ(0, none.own_port);
  CloseEndpoint(&none);
  EXPECT_EQ(kNoSocket, none.socket);
}

TEST(UdpStopSignal, OnlyAnEmptyDatagramFromTheOwnPort) {
  Endpoint worker(47159), internal(47149, true), client(0), any(0);
  ASSERT_NE(0, worker->own_port);
  ASSERT_NE(0, internal->own_port);
  int result = 9;
  // Port 0: the system's choice, registered, but no own port.
  EXPECT_EQ(0, client->own_port);
  EXPECT_TRUE(IsOwnPort(client->bound_port));

  // Empty datagrams from a client endpoint and from another program.
  ASSERT_EQ(0, Send(client, worker->own_port, {}));
  Receive(worker, &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(client->bound_port, worker->peer_port);
  uint16_t foreign = 0;
  ASSERT_EQ(0, SendFromForeignSocket(worker->own_port, "", 0, &foreign));
  Receive(worker, &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(foreign, worker->peer_port);

  SendStopSignal(worker.get());
  Receive(worker, &result);
  EXPECT_EQ(-1, result);
  SendStopSignal(internal.get());
  Receive(internal, &result);
  EXPECT_EQ(-1, result);

  // An endpoint on port 0 sending itself an empty datagram: just a 0.
  ASSERT_EQ(0, Send(any, any->bound_port, {}));
  SetPeerPort(any.get(), 1);
  Receive(any, &result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(any->bound_port, any->peer_port);  // It did arrive.
  SendStopSignal(any.get());  // No own port to go to: nothing is sent.
  EXPECT_EQ(0, WaitReadable(any.get(), 200));
}

TEST(UdpStopSignal, ReachesAWorkerThatJustAnsweredAClient) {
  Endpoint worker(47139, true), client(0, true);
  ASSERT_NE(0, worker->own_port);
  std::atomic<int> last{0}, answers{0};
  std::thread loop([&] {
    uint8_t buffer[64];
    int n;
    while ((n = ReceiveDatagram(worker.get(), buffer, sizeof buffer, -1)) >= 0) {
      if (n > 0 && SendToPeer(worker.get(), "pong", 4) == 4) ++answers;
    }
    last = n;
  });
  ASSERT_EQ(4, Send(client, worker->own_port, {'p', 'i', 'n', 'g'}));
  int result = 0;
  EXPECT_EQ(Bytes({'p', 'o', 'n', 'g'}), Receive(client, &result));
  SendStopSignal(worker.get());
  loop.join();
  EXPECT_EQ(-1, last.load());
  EXPECT_EQ(1, answers.load());
}

TEST(UdpReceive, TimeOuts) {
  Endpoint e(0), other(0), worker(47129);
  ASSERT_NE(0, worker->own_port);
  uint8_t buffer[8];
  EXPECT_EQ(0, ReceiveDatagram(e.get(), buffer, sizeof buffer, 0));
  int64_t start = MonotonicMilliseconds();
  EXPECT_EQ(0, ReceiveDatagram(e.get(), buffer, sizeof buffer, 100));
  EXPECT_GE(MonotonicMilliseconds() - start, 90);
  ASSERT_EQ(3, Send(other, e->bound_port, {1, 2, 3}));
  ASSERT_GT(WaitReadable(e.get(), kLong), 0);
  EXPECT_EQ(3, ReceiveDatagram(e.get(), buffer, sizeof buffer, 0));

  // A negative time-out waits for a datagram, then for the stop signal.
  for (bool stop : {false, true}) {
    std::atomic<bool> done{false};
    int result = 99;
    std::thread waiter([&] {
      result = ReceiveDatagram(worker.get(), buffer, sizeof buffer, -1);
      done = true;
    });
    SleepMilliseconds(200);
    EXPECT_FALSE(done.load());
    if (stop) {
      SendStopSignal(worker.get());
    } else {
      Send(other, worker->own_port, {7, 7});
    }
    waiter.join();
    EXPECT_EQ(stop ? -1 : 2, result);
  }
}

TEST(UdpReceive, ResetReportsAndTooLongDatagramsAreNoErrors) {
  Endpoint e(0), sender(0), second(0);
  // A send to a closed port may bring a reset report on the next receive.
  uint16_t closed_port = 0;
  { closed_port = Endpoint(0)->bound_port; }
  ASSERT_EQ(1, Send(e, closed_port, {1}));
  uint8_t buffer[16];
  EXPECT_EQ(0, ReceiveDatagram(e.get(), buffer, 8, 200));

  // 9 bytes for an 8-byte buffer: dropped, nothing written past 8 bytes,
  // the sender does not become the peer, and the next datagram comes.
  std::memset(buffer, 0xEE, sizeof buffer);
  ASSERT_EQ(9, Send(sender, e->bound_port, Bytes(9, 'x')));
  ASSERT_EQ(8, Send(second, e->bound_port, {'1', '2', '3', '4', '5', '6', '7',
                                           '8'}));
  EXPECT_EQ(8, ReceiveDatagram(e.get(), buffer, 8, kLong));
  EXPECT_EQ(0, std::memcmp(buffer, "12345678", 8));
  EXPECT_EQ(second->bound_port, e->peer_port);
  ASSERT_EQ(9, Send(sender, e->bound_port, Bytes(9, 'x')));
  EXPECT_EQ(0, ReceiveDatagram(e.get(), buffer, 8, 200));
  EXPECT_EQ(second->bound_port, e->peer_port);
  EXPECT_EQ(Bytes(8, 0xEE), Bytes(buffer + 8, buffer + 16));
}

TEST(UdpInternalOnly, ForeignDatagramsAreDroppedWhileTheWaitGoesOn) {
  Endpoint worker(0, true), own(0);
  uint16_t foreign = 0;
  ASSERT_EQ(4, SendFromForeignSocket(worker->bound_port, "fake", 4, &foreign));
  std::thread later([&] {
    SleepMilliseconds(100);
    Send(own, worker->bound_port, {'r', 'e', 'a', 'l'});
  });
  int result = 0;
  EXPECT_EQ(Bytes({'r', 'e', 'a', 'l'}), Receive(worker, &result));
  later.join();
  EXPECT_EQ(own->bound_port, worker->peer_port);

  // Alone, a foreign datagram costs the full time-out and moves no peer;
  // so does one from an endpoint closed before it was read.
  ASSERT_EQ(0, SendFromForeignSocket(worker->bound_port, "", 0, &foreign));
  {
    Endpoint gone(0);
    ASSERT_EQ(2, Send(gone, worker->bound_port, {1, 2}));
  }
  int64_t start = MonotonicMilliseconds();
  Receive(worker, &result, 300);
  EXPECT_EQ(0, result);
  EXPECT_GE(MonotonicMilliseconds() - start, 290);
  EXPECT_EQ(own->bound_port, worker->peer_port);
}

TEST(UdpInternalOnly, ADroppedDatagramDoesNotHideTheNextFromAZeroWait) {
  Endpoint worker(0, true), own(0);
  uint16_t foreign = 0;
  ASSERT_EQ(4, SendFromForeignSocket(worker->bound_port, "fake", 4, &foreign));
  ASSERT_EQ(4, Send(own, worker->bound_port, {'r', 'e', 'a', 'l'}));
  ASSERT_EQ(1, WaitReadable(worker.get(), kLong));
  int result = 0;
  EXPECT_EQ(Bytes({'r', 'e', 'a', 'l'}), Receive(worker, &result, 0));
}

TEST(UdpLocalSender, CountsAsOwnFromManyThreads) {
  Endpoint worker(0, true);
  constexpr int kThreads = 4, kEach = 25;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&worker, t] {
      for (int i = 0; i < kEach; ++i) {
        uint8_t message[2] = {static_cast<uint8_t>(t), static_cast<uint8_t>(i)};
        SendToLocalPort(worker->bound_port, message, 2);
      }
    });
  }
  int count[kThreads] = {};
  int result = 0;
  for (int i = 0; i < kThreads * kEach; ++i) {
    Bytes got = Receive(worker, &result);
    ASSERT_EQ(2, result);
    ASSERT_LT(got[0], kThreads);
    ++count[got[0]];
  }
  for (auto& s : senders) s.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(kEach, count[t]);

  // An answer back to the sender is thrown away and sending goes on; the
  // socket library's release closes the sender, and the next send opens
  // a new one.
  const uint16_t sender_port = worker->peer_port;
  ASSERT_EQ(3, SendToPeer(worker.get(), "ack", 3));
  EXPECT_EQ(1, SendToLocalPort(worker->bound_port, "y", 1));
  EXPECT_EQ(Bytes({'y'}), Receive(worker, &result));
  ReleaseSocketLibrary();
  EXPECT_FALSE(IsOwnPort(sender_port));
  EXPECT_EQ(1, SendToLocalPort(worker->bound_port, "z", 1));
  EXPECT_EQ(Bytes({'z'}), Receive(worker, &result));
}

// The service side of one exchange: takes one request, runs `before`, and
// sends `answer` (nothing when empty) back to its sender.
class FakeService {
 public:
  uint16_t port() { return endpoint_->bound_port; }
  void AnswerOnce(const Bytes& answer, std::function<void()> before = {}) {
    thread_ = std::thread([this, answer, before] {
      int result = 0;
      request_ = Receive(endpoint_, &result);
      if (before) before();
      if (!answer.empty()) {
        SendToPeer(endpoint_.get(), answer.data(),
                   static_cast<int>(answer.size()));
      }
    });
  }
  Bytes Request() {
    if (thread_.joinable()) thread_.join();
    return request_;
  }
  ~FakeService() { Request(); }

 private:
  Endpoint endpoint_{0};
  Bytes request_;
  std::thread thread_;
};

struct UdpClient : ::testing::Test {
  void SetUp() override { SetPeerPort(client.get(), service.port()); }
  FakeService service;
  Endpoint client{0};
  char text[261];
  const Bytes hi = {0x04, 0x06, 0x00, 0x03, 'H', 'i', 0x20};
  const Bytes no = {0x04, 0x06, 0x00, 0x03, 'N', 'o', 0x20};
};

TEST_F(UdpClient, RequestTextSendsTheRequestAndCopiesTheText) {
  service.AnswerOnce(hi);
  EXPECT_EQ(2, RequestText(text, client.get(), 3, 0x12345678, 1));
  EXPECT_STREQ("Hi", text);
  EXPECT_EQ(Bytes({0x0A, 0x02, 0x00, 0x03, 0x78, 0x56, 0x34, 0x12, 0x01, 0x00,
                   0x00, 0x00, 0x02}),
            service.Request());

  Bytes longest = {0xFF, 0x06, 0x00, 0x05};  // 253 text bytes.
  longest.insert(longest.end(), 253, 'A');
  longest.push_back(0xBD);
  service.AnswerOnce(longest);
  EXPECT_EQ(253, RequestText(text, client.get(), 5, -1, 0));
  EXPECT_EQ(std::string(253, 'A'), text);
  EXPECT_EQ(Bytes({0x0A, 0x02, 0x00, 0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                   0x00, 0x00, 0x0D}),
            service.Request());
}

TEST_F(UdpClient, RequestTextRejectsBadAnswers) {
  const struct {
    const char* what;
    Bytes answer;
  } cases[] = {
      {"type 5", {0x04, 0x05, 0x00, 0x03, 'H', 'i', 0x23}},
      {"length byte 5 for 7 bytes", {0x05, 0x06, 0x00, 0x03, 'H', 'i', 0x21}},
      {"checksum off", {0x04, 0x06, 0x00, 0x03, 'H', 'i', 0x21}},
      {"payload byte 0 not 0", {0x04, 0x06, 0x01, 0x03, 'H', 'i', 0x21}},
      {"5 bytes (no text found)", {0x02, 0x06, 0x00, 0x03, 0x07}},
      {"no answer", {}},
  };
  for (const auto& c : cases) {
    service.AnswerOnce(c.answer);
    EXPECT_EQ(-1, RequestText(text, client.get(), 3, 1, 0)) << c.what;
    EXPECT_EQ(13u, service.Request().size()) << c.what;
  }
}

TEST_F(UdpClient, RequestTextDrainsAStaleAnswerFirst) {
  // The service answers the first request only after the client gave up.
  std::atomic<bool> gave_up{false};
  service.AnswerOnce(no, [&] {
    while (!gave_up) SleepMilliseconds(10);
  });
  EXPECT_EQ(-1, RequestText(text, client.get(), 3, 1, 0));
  gave_up = true;
  service.Request();
  ASSERT_GT(WaitReadable(client.get(), kLong), 0);
  service.AnswerOnce(hi);
  EXPECT_EQ(2, RequestText(text, client.get(), 3, 1, 0));
  EXPECT_STREQ("Hi", text);
}

TEST_F(UdpClient, OnlyThePeerMayAnswer) {
  // A stray datagram taken by the drain must not redirect the request, and
  // a fake answer from another program must not pass for the service's.
  uint16_t foreign = 0;
  ASSERT_EQ(1, SendFromForeignSocket(client->bound_port, "?", 1, &foreign));
  service.AnswerOnce(hi, [&] {
    SendFromForeignSocket(client->bound_port, no.data(), 7, &foreign);
  });
  EXPECT_EQ(2, RequestText(text, client.get(), 3, 1, 0));
  EXPECT_STREQ("Hi", text);
  EXPECT_EQ(13u, service.Request().size());
  EXPECT_EQ(service.port(), client->peer_port);

  // RequestFrame does not drain: a fake already waiting is passed over.
  ASSERT_EQ(7, SendFromForeignSocket(client->bound_port, no.data(), 7,
                                     &foreign));
  ASSERT_GT(WaitReadable(client.get(), kLong), 0);
  service.AnswerOnce(hi);
  uint8_t buffer[261];
  ASSERT_EQ(6, RequestFrame(buffer, client.get(), 0, kLong));
  EXPECT_EQ(Bytes({0x00, 0x03, 'H', 'i', 0x00, 0x00}), Bytes(buffer, buffer + 6));
}

TEST_F(UdpClient, RequestFrameSendsThePayloadAndReturnsTheAnswer) {
  uint8_t buffer[270] = {0x42, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFF};
  service.AnswerOnce({0x07, 0x06, 0x42, 0x01, 0x03, 0, 0, 0, 0x02, 0x43});
  ASSERT_EQ(9, RequestFrame(buffer, client.get(), 7, kLong));
  EXPECT_EQ(Bytes({0x42, 0x01, 0x03, 0, 0, 0, 0x02, 0, 0}),
            Bytes(buffer, buffer + 9));
  EXPECT_EQ(Bytes({0x07, 0x02, 0x42, 0x01, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0x45}),
            service.Request());

  // A 258-byte answer (payload 0..254) fills 257 bytes and not one more.
  Bytes full = {0xFF, 0x06};
  for (int i = 0; i < 255; ++i) full.push_back(static_cast<uint8_t>(i));
  full.push_back(0x06);
  std::memset(buffer, 0xEE, sizeof buffer);
  service.AnswerOnce(full);
  ASSERT_EQ(257, RequestFrame(buffer, client.get(), 0, kLong));
  EXPECT_EQ(Bytes({0x00, 0x02, 0x02}), service.Request());
  for (int i = 0; i < 255; ++i) ASSERT_EQ(i, buffer[i]);
  EXPECT_EQ(Bytes({0, 0, 0xEE}), Bytes(buffer + 255, buffer + 258));

  // One byte more than the length byte can carry is refused unsent.
  EXPECT_EQ(-1, RequestFrame(buffer, client.get(), 256, kLong));
}

}  // namespace
}  // namespace zep
