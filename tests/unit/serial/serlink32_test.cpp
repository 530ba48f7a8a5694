// serlink32 through its exports, on both platforms. The tests that need a
// line talk to the responder of line_peer.h ("Q1\r" gets "<Q1>\r").

#include "serlink32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "line_peer.h"

namespace zep {
namespace test {
namespace {

constexpr uint32_t kBadSlots[] = {2, 3, 0xFFFFFFFFu};

int Send(const std::string& text, uint32_t port) {
  return Kbapi_COMSendString(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint16_t>(text.size()), port);
}

std::string Receive(int count, uint32_t port) {
  std::string bytes(static_cast<size_t>(count), '\0');
  int got = Kbapi_COMRecvString(reinterpret_cast<uint8_t*>(&bytes[0]),
                                static_cast<uint16_t>(count), port);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

// The queue count at once; and a whole reply with time to spare (up to 2 s
// to begin, complete after 150 ms without new bytes).
int Queued(uint32_t port) { return Kbapi_COMRecvChars(0, 1, 1, 1024, port); }
int WaitForReply(uint32_t port) {
  return Kbapi_COMRecvChars(50, 40, 3, 1024, port);
}

// Kbapi_COMMessageProcs into a buffer filled with '#': the result, the count
// and the buffer up to its last byte that is not filler.
struct Exchange {
  int result;
  uint16_t count;
  std::string seen;
};
Exchange MessageProcs(const std::string& request, uint16_t most, uint32_t port,
                      uint16_t request_length = 0xFFFF) {
  char buffer[256];
  std::memset(buffer, '#', sizeof buffer);
  Exchange out{0, most, ""};
  out.result = Kbapi_COMMessageProcs(
      reinterpret_cast<const uint8_t*>(request.data()),
      request_length == 0xFFFF ? static_cast<uint16_t>(request.size())
                               : request_length,
      reinterpret_cast<uint8_t*>(buffer), &out.count, 50, 20, 2, port);
  std::string all(buffer, sizeof buffer);
  out.seen = all.substr(0, all.find_last_not_of('#') + 1);
  return out;
}

TEST(SerlinkSlotTest, BadSlotNumbersAreRefusedByEveryExport) {
  for (uint32_t slot : kBadSlots) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, slot));
    EXPECT_EQ(0, Kbapi_COMGetCommEnable(slot));
    uint32_t status = 0xDEADBEEF;
    EXPECT_EQ(0, Kbapi_COMGetModemStatus(&status, slot));
    EXPECT_EQ(0xDEADBEEFu, status);
    EXPECT_EQ(-1, Kbapi_COMRecvChars(10, 2, 1, 10, slot));
    EXPECT_EQ(-1, Kbapi_COMRecvChars(0, 2, 1, 10, slot));
    uint8_t buffer[8] = {};
    EXPECT_EQ(-1, Kbapi_COMRecvString(buffer, sizeof buffer, slot));
    // Refused before anything else: even an empty text is not "all written".
    EXPECT_EQ(0, Kbapi_COMSendString(buffer, 0, slot));
    EXPECT_EQ(0, Kbapi_COMSetDTR(1, slot));
    EXPECT_EQ(0, Kbapi_COMSetRTS(1, slot));
    Exchange refused = MessageProcs("", 77, slot);
    EXPECT_EQ(0, refused.result);
    EXPECT_EQ(77, refused.count);
  }
}

TEST(SerlinkSlotTest, ClosedSlotGivesTheClosedResults) {
  Kbapi_COMPortClose(1);
  Kbapi_COMPortClose(1);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(1));
  // A closed port writes nothing, so only an empty text is all written.
  EXPECT_EQ(1, Send("", 1));
  EXPECT_EQ(0, Send("Q1\r", 1));
  uint8_t buffer[8] = {};
  EXPECT_EQ(-1, Kbapi_COMRecvString(buffer, sizeof buffer, 1));
  // The status can never be read, so the wait ends with -1, also at
  // interval 0 and with a first-wait count of 0.
  EXPECT_EQ(-1, Kbapi_COMRecvChars(10, 3, 1, 100, 1));
  EXPECT_EQ(-1, Kbapi_COMRecvChars(0, 3, 1, 100, 1));
  EXPECT_EQ(-1, Kbapi_COMRecvChars(10, 0, 1, 100, 1));
  uint32_t status = 0xDEADBEEF;
  EXPECT_EQ(0, Kbapi_COMGetModemStatus(&status, 1));
  EXPECT_EQ(0xDEADBEEFu, status);
  EXPECT_EQ(0, Kbapi_COMSetDTR(2, 1));
  EXPECT_EQ(0, Kbapi_COMSetRTS(1, 1));
  // A request that cannot be sent leaves the count alone; an empty one
  // counts as sent, the wait then gives -1 and the count becomes 0.
  Exchange unsent = MessageProcs("Q1\r", 64, 1);
  EXPECT_EQ(0, unsent.result);
  EXPECT_EQ(64, unsent.count);
  Exchange empty = MessageProcs("", 64, 1);
  EXPECT_EQ(0, empty.result);
  EXPECT_EQ(0, empty.count);
}

TEST(SerlinkSlotTest, LibInfoIsTheVersion) {
  char text[12];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(1, Kbapi_COMGetLibInfo(text));
  EXPECT_STREQ("1.1", text);
  EXPECT_EQ(0, Kbapi_COMGetLibInfo(nullptr));
}

class SerlinkLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    peer_ = StartLinePeer(&why);
    if (peer_ == nullptr) GTEST_SKIP() << why;
  }
  void TearDown() override {
    Kbapi_COMPortClose(0);
    Kbapi_COMPortClose(1);
  }
  int Open(uint32_t slot, uint32_t baud = 9600) {
    int opened = Kbapi_COMPortOpen(peer_->device().c_str(), baud, slot);
    Kbapi_COMFlushRxBuff(slot);
    return opened;
  }
  std::string Ask(const std::string& request, uint32_t slot) {
    if (Send(request, slot) != 1) return "(send failed)";
    int waiting = WaitForReply(slot);
    return waiting > 0 ? Receive(waiting, slot) : "(no reply)";
  }

  std::unique_ptr<LinePeer> peer_;
};

TEST_F(SerlinkLineTest, OpenCloseReopenAndFailedOpens) {
  ASSERT_EQ(1, Open(0));
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
  Kbapi_COMPortClose(0);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  // Reopening, also an open slot: the old port is given up first.
  ASSERT_EQ(1, Open(0));
  ASSERT_EQ(1, Open(0));
  EXPECT_EQ("<Q2>\r", Ask("Q2\r", 0));
  // A failed open leaves even an open slot closed; a later open works.
  EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(0, Kbapi_COMPortOpen(nullptr, 9600, 0));
  // Slot 1 works on its own while slot 0 stays closed.
  ASSERT_EQ(1, Open(1));
  EXPECT_EQ("<S1>\r", Ask("S1\r", 1));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  Kbapi_COMPortClose(1);
  ASSERT_EQ(1, Open(0));
  EXPECT_EQ("<Q3>\r", Ask("Q3\r", 0));
}

TEST_F(SerlinkLineTest, BadSlotNumbersLeaveAnOpenPortAlone) {
  ASSERT_EQ(1, Open(0));
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  for (uint32_t slot : kBadSlots) {
    Kbapi_COMPortClose(slot);
    Kbapi_COMFlushRxBuff(slot);
    Kbapi_COMFlushTxBuff(slot);
    Kbapi_COMSetBoudrate(4800, slot);
    Kbapi_COMSetBreak(slot);
    Kbapi_COMClearBreak(slot);
  }
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<Q1>\r", Receive(Queued(0), 0));
}

TEST_F(SerlinkLineTest, WaitCountsAndCuts) {
  ASSERT_EQ(1, Open(0));
  EXPECT_EQ(0, Queued(0));
  ASSERT_EQ(1, Send("Q1\r", 0));
  // The service's own arguments.
  EXPECT_EQ(5, Kbapi_COMRecvChars(50, 20, 2, 1024, 0));
  EXPECT_EQ("<Q", Receive(2, 0));
  EXPECT_EQ("1>\r", Receive(Queued(0), 0));
  ASSERT_EQ(1, Send("LONG\r", 0));
  ASSERT_EQ(100, WaitForReply(0));
  // More than the most stops the wait with the most, reading nothing; at
  // interval 0 the count comes as it is, with no cut.
  EXPECT_EQ(10, Kbapi_COMRecvChars(50, 20, 2, 10, 0));
  EXPECT_EQ(100, Kbapi_COMRecvChars(0, 20, 2, 2, 0));
  std::string reply = Receive(100, 0);
  EXPECT_EQ("0123456789", reply.substr(0, 10));
  EXPECT_EQ("012345678\r", reply.substr(90));
}

TEST_F(SerlinkLineTest, ReplyArrivingInPiecesIsReturnedWhole) {
  ASSERT_EQ(1, Open(0));
  ASSERT_EQ(1, Send("PIECES\r", 0));
  // Pieces 50 ms apart over 350 ms, longer than the 3 quiet polls of 100 ms:
  // as bytes keep coming, the wait goes on.
  EXPECT_EQ(49, Kbapi_COMRecvChars(100, 20, 3, 1024, 0));
  EXPECT_EQ("PIECE0PIECE1PIECE2PIECE3PIECE4PIECE5PIECE6PIECE7\r",
            Receive(49, 0));
}

TEST_F(SerlinkLineTest, NoReplyGivesZeroAfterTheFirstWait) {
  ASSERT_EQ(1, Open(0));
  auto start = std::chrono::steady_clock::now();
  // The first read sets the last count to 0; each of the next ten finds it
  // unchanged and counts down, after a 20 ms sleep: at least 200 ms.
  EXPECT_EQ(0, Kbapi_COMRecvChars(20, 10, 2, 1024, 0));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(180));
  EXPECT_LT(elapsed, std::chrono::seconds(20));
}

TEST_F(SerlinkLineTest, WaitDoesNotHoldTheLockWhileSleeping) {
  ASSERT_EQ(1, Open(0));
  std::atomic<bool> waiting{false};
  std::atomic<int> result{-2};
  std::thread waiter([&] {
    waiting.store(true);
    result.store(Kbapi_COMRecvChars(200, 25, 2, 1024, 0));
  });
  while (!waiting.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Were the lock held across the sleeps, this send would get through only
  // after the 5 s wait had given up with 0.
  EXPECT_EQ(1, Send("Q1\r", 0));
  waiter.join();
  EXPECT_EQ(5, result.load());
}

TEST_F(SerlinkLineTest, MessageProcsExchangesOneRequest) {
  ASSERT_EQ(1, Open(0));
  // Only the given length is sent: "JUNK" never goes out.
  Exchange one = MessageProcs("Q1\rJUNK", 64, 0, 3);
  EXPECT_EQ(1, one.result);
  EXPECT_EQ(5, one.count);
  EXPECT_EQ("<Q1>\r", one.seen);
  // What waited before the request is discarded.
  ASSERT_EQ(1, Send("A\r", 0));
  ASSERT_EQ(4, WaitForReply(0));
  Exchange fresh = MessageProcs("B\r", 64, 0);
  EXPECT_EQ("<B>\r", fresh.seen);
  // At most the count is taken; the rest stays queued.
  Exchange cut = MessageProcs("LONG\r", 10, 0);
  EXPECT_EQ(1, cut.result);
  EXPECT_EQ(10, cut.count);
  EXPECT_EQ("0123456789", cut.seen);
  EXPECT_EQ(90, WaitForReply(0));
  // No reply: 0, and the count becomes 0.
  Exchange none = MessageProcs("SILENT\r", 64, 0);
  EXPECT_EQ(0, none.result);
  EXPECT_EQ(0, none.count);
  EXPECT_EQ("", none.seen);
}

TEST_F(SerlinkLineTest, SpeedBreakAndModemLines) {
  // 75136 is 0x12580, cut to its low 16 bits: 0x2580, 9600.
  const uint32_t wide = (1u << 16) | 9600u;
  ASSERT_EQ(1, Open(0, wide));
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  // Changing the speed also discards both queues.
  Kbapi_COMSetBoudrate(4800, 0);
  EXPECT_EQ(0, Queued(0));
  // A pseudo-terminal has no modem lines: the platform may refuse (0), which
  // neither closes nor upsets the port.
  for (int on : {1, 2, 0}) {
    EXPECT_LE(Kbapi_COMSetRTS(on, 0), 1);
    EXPECT_LE(Kbapi_COMSetDTR(on, 0), 1);
  }
  uint32_t status = 0;
  EXPECT_LE(Kbapi_COMGetModemStatus(&status, 0), 1);
  EXPECT_EQ(0, Kbapi_COMGetModemStatus(nullptr, 0));
  Kbapi_COMSetBreak(0);
  Kbapi_COMClearBreak(0);
  EXPECT_EQ("<Q2>\r", Ask("Q2\r", 0));
}

}  // namespace
}  // namespace test
}  // namespace zep
