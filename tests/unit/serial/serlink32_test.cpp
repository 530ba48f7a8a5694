// serlink32 through its exported functions, on both platforms. The tests
// that need a line talk to the responder of line_peer.h.

#include "serlink32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "line_peer.h"

namespace zep {
namespace test {
namespace {

constexpr uint32_t kBadSlots[] = {2, 3, 0xFFFFFFFFu};

int64_t ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now() - since)
      .count();
}

// A speed as a caller with 32-bit values would pass it (high words above the
// 16 bits the interface carries).
uint32_t WideSpeed(uint32_t high, uint32_t low) { return (high << 16) | low; }

int Send(const std::string& text, uint32_t port) {
  return Kbapi_COMSendString(reinterpret_cast<const uint8_t*>(text.data()),
                             static_cast<uint16_t>(text.size()), port);
}

// Waits for a whole reply with time to spare: up to 2 s for it to begin,
// complete after 150 ms without new bytes.
int WaitForReply(uint32_t port) {
  return Kbapi_COMRecvChars(50, 40, 3, 1024, port);
}

std::string Receive(int count, uint32_t port) {
  std::string bytes(static_cast<size_t>(count), '\0');
  int got = Kbapi_COMRecvString(reinterpret_cast<uint8_t*>(&bytes[0]),
                                static_cast<uint16_t>(count), port);
  bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return bytes;
}

// The queue count at once, without waiting.
int Queued(uint32_t port) { return Kbapi_COMRecvChars(0, 1, 1, 1024, port); }

struct Exchange {
  int result;
  uint16_t count;
  std::string reply;
};

Exchange MessageProcs(const std::string& request, uint16_t request_length,
                      uint16_t most, uint16_t interval_ms, uint32_t port) {
  uint8_t buffer[1100];
  std::memset(buffer, '#', sizeof buffer);
  uint16_t count = most;
  int result = Kbapi_COMMessageProcs(
      reinterpret_cast<const uint8_t*>(request.data()), request_length, buffer,
      &count, interval_ms, 20, 2, port);
  // Everything past what was received keeps its filler, up to the end of the
  // buffer: the reply text and the untouched rest.
  std::string seen(reinterpret_cast<char*>(buffer), sizeof buffer);
  return {result, count, seen.substr(0, seen.find_last_not_of('#') + 1)};
}

// ---------------------------------------------------------------------------
// Slot numbers and closed slots: no line needed.

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
    EXPECT_EQ(0, Kbapi_COMSendString(buffer, 3, slot));
    EXPECT_EQ(0, Kbapi_COMSetDTR(1, slot));
    EXPECT_EQ(0, Kbapi_COMSetRTS(1, slot));
    uint16_t count = 77;
    EXPECT_EQ(0, Kbapi_COMMessageProcs(buffer, 0, buffer, &count, 10, 2, 1,
                                       slot));
    EXPECT_EQ(77, count);
    // The functions without a result must simply return.
    Kbapi_COMPortClose(slot);
    Kbapi_COMClearBreak(slot);
    Kbapi_COMSetBreak(slot);
    Kbapi_COMFlushRxBuff(slot);
    Kbapi_COMFlushTxBuff(slot);
    Kbapi_COMSetBoudrate(9600, slot);
  }
}

TEST(SerlinkSlotTest, ClosedSlotGivesTheClosedResults) {
  const uint32_t slot = 1;
  Kbapi_COMPortClose(slot);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(slot));
  const uint8_t text[] = "Q1\r";
  // A closed port writes nothing, so only an empty text is all written.
  EXPECT_EQ(1, Kbapi_COMSendString(text, 0, slot));
  EXPECT_EQ(1, Kbapi_COMSendString(nullptr, 0, slot));
  EXPECT_EQ(0, Kbapi_COMSendString(text, 3, slot));
  uint8_t buffer[8] = {};
  EXPECT_EQ(-1, Kbapi_COMRecvString(buffer, sizeof buffer, slot));
  // The status can never be read, so the wait ends with -1 (also at
  // interval 0, and also with a first-wait count of 0).
  EXPECT_EQ(-1, Kbapi_COMRecvChars(10, 3, 1, 100, slot));
  EXPECT_EQ(-1, Kbapi_COMRecvChars(0, 3, 1, 100, slot));
  EXPECT_EQ(-1, Kbapi_COMRecvChars(10, 0, 1, 100, slot));
  uint32_t status = 0xDEADBEEF;
  EXPECT_EQ(0, Kbapi_COMGetModemStatus(&status, slot));
  EXPECT_EQ(0xDEADBEEFu, status);
  EXPECT_EQ(0, Kbapi_COMSetDTR(2, slot));
  EXPECT_EQ(0, Kbapi_COMSetRTS(1, slot));
  Kbapi_COMSetBoudrate(9600, slot);
  Kbapi_COMPortClose(slot);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(slot));
}

TEST(SerlinkSlotTest, MessageProcsOnAClosedSlot) {
  const uint32_t slot = 1;
  Kbapi_COMPortClose(slot);
  // The request cannot be sent: 0, and the count stays as it was.
  Exchange sent = MessageProcs("Q1\r", 3, 64, 10, slot);
  EXPECT_EQ(0, sent.result);
  EXPECT_EQ(64, sent.count);
  // An empty request counts as sent; the wait then never reads a status
  // (-1), so the count becomes 0.
  Exchange empty = MessageProcs("", 0, 64, 10, slot);
  EXPECT_EQ(0, empty.result);
  EXPECT_EQ(0, empty.count);
  EXPECT_EQ("", empty.reply);
}

TEST(SerlinkLibraryTest, LibInfoIsTheVersion) {
  char text[12];
  std::memset(text, 'x', sizeof text);
  ASSERT_EQ(1, Kbapi_COMGetLibInfo(text));
  EXPECT_STREQ("1.1", text);
  EXPECT_EQ(0, Kbapi_COMGetLibInfo(nullptr));
}

TEST(SerlinkLibraryTest, OpeningNothingFails) {
  EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(0, Kbapi_COMPortOpen(nullptr, 9600, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
}

// ---------------------------------------------------------------------------
// With a line and its responder.

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

  const char* device() const { return peer_->device().c_str(); }

  // Opens the slot and starts from an empty line.
  void OpenSlot(uint32_t slot) {
    ASSERT_EQ(1, Kbapi_COMPortOpen(device(), 9600, slot));
    Kbapi_COMFlushTxBuff(slot);
    Kbapi_COMFlushRxBuff(slot);
  }

  // One request and its whole reply, through the lower-level exports.
  std::string Ask(const std::string& request, uint32_t slot) {
    if (Send(request, slot) != 1) return "(send failed)";
    int waiting = WaitForReply(slot);
    if (waiting <= 0) return "(no reply)";
    return Receive(waiting, slot);
  }

  std::unique_ptr<LinePeer> peer_;
};

TEST_F(SerlinkLineTest, OpenCloseAndReopen) {
  OpenSlot(0);
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(1));
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
  Kbapi_COMPortClose(0);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  // Closing twice is harmless.
  Kbapi_COMPortClose(0);
  OpenSlot(0);
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<again>\r", Ask("again\r", 0));
}

TEST_F(SerlinkLineTest, OpeningAnOpenSlotReplacesItsPort) {
  OpenSlot(0);
  // The old port is given up first, so the device is free for the new one.
  OpenSlot(0);
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
  Kbapi_COMPortClose(0);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
}

TEST_F(SerlinkLineTest, FailedOpenLeavesTheSlotClosed) {
  EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  // A later open of the same slot works normally.
  OpenSlot(0);
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
  // A failed open of an open slot leaves it closed too.
  EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, 0));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(-1, Kbapi_COMRecvChars(0, 1, 1, 10, 0));
  OpenSlot(0);
  EXPECT_EQ("<Q2>\r", Ask("Q2\r", 0));
}

TEST_F(SerlinkLineTest, SlotOneWorksOnItsOwn) {
  OpenSlot(1);
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(1));
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<S1>\r", Ask("S1\r", 1));
  // Slot 0 is still closed and refuses to send.
  EXPECT_EQ(0, Send("S0\r", 0));
  Kbapi_COMPortClose(1);
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(1));
}

TEST_F(SerlinkLineTest, BadSlotNumbersLeaveAnOpenPortAlone) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  for (uint32_t slot : kBadSlots) {
    Kbapi_COMPortClose(slot);
    Kbapi_COMFlushRxBuff(slot);
    Kbapi_COMFlushTxBuff(slot);
    Kbapi_COMSetBoudrate(4800, slot);
    Kbapi_COMSetBreak(slot);
    Kbapi_COMClearBreak(slot);
    EXPECT_EQ(0, Kbapi_COMPortOpen(MissingDeviceName(), 9600, slot));
  }
  // Slot 0 is still open and its reply still waits, unread.
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ(5, Queued(0));
  EXPECT_EQ("<Q1>\r", Receive(5, 0));
}

// ---------------------------------------------------------------------------
// The quiet-line wait.

TEST_F(SerlinkLineTest, WaitEndsWhenTheReplyHasGoneQuiet) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("Q1\r", 0));
  // The service's own arguments: 50 ms polls, 20 first-wait polls, 2 quiet
  // polls, at most 1024 bytes.
  EXPECT_EQ(5, Kbapi_COMRecvChars(50, 20, 2, 1024, 0));
  EXPECT_EQ("<Q1>\r", Receive(5, 0));
  EXPECT_EQ(0, Queued(0));
}

TEST_F(SerlinkLineTest, ReplyArrivingInPiecesIsReturnedWhole) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("PIECES\r", 0));
  // The pieces come 50 ms apart over 350 ms, longer than the 300 ms of
  // quiet polls; as bytes keep coming the wait goes on.
  EXPECT_EQ(49, Kbapi_COMRecvChars(100, 20, 3, 1024, 0));
  EXPECT_EQ("PIECE0PIECE1PIECE2PIECE3PIECE4PIECE5PIECE6PIECE7\r",
            Receive(49, 0));
}

TEST_F(SerlinkLineTest, IntervalZeroGivesTheQueueCountAtOnce) {
  OpenSlot(0);
  EXPECT_EQ(0, Kbapi_COMRecvChars(0, 20, 2, 1024, 0));
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  // No waiting and no most-bytes cut at interval 0: the count as it is.
  EXPECT_EQ(5, Kbapi_COMRecvChars(0, 20, 2, 2, 0));
  EXPECT_EQ(5, Queued(0));
}

TEST_F(SerlinkLineTest, MoreThanTheMostStopsTheWaitAtTheMost) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("LONG\r", 0));
  ASSERT_EQ(100, WaitForReply(0));
  EXPECT_EQ(10, Kbapi_COMRecvChars(50, 20, 2, 10, 0));
  // The wait reads nothing: all 100 bytes still wait.
  EXPECT_EQ(100, Queued(0));
  std::string reply = Receive(100, 0);
  ASSERT_EQ(100u, reply.size());
  EXPECT_EQ("0123456789", reply.substr(0, 10));
  EXPECT_EQ("012345678\r", reply.substr(90));
}

TEST_F(SerlinkLineTest, NoReplyGivesZeroAfterTheFirstWait) {
  OpenSlot(0);
  auto start = std::chrono::steady_clock::now();
  // The first status read sets the last seen count to 0; each of the next
  // ten finds it unchanged and lowers the countdown, with a 20 ms sleep
  // between reads: ten sleeps, at least 200 ms.
  EXPECT_EQ(0, Kbapi_COMRecvChars(20, 10, 2, 1024, 0));
  int64_t elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 180);
  EXPECT_LT(elapsed, 20000);
}

TEST_F(SerlinkLineTest, ReceiveStringTakesNoMoreThanAsked) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  EXPECT_EQ("<Q", Receive(2, 0));
  EXPECT_EQ(3, Queued(0));
  EXPECT_EQ("1>\r", Receive(3, 0));
  EXPECT_EQ(0, Queued(0));
}

TEST_F(SerlinkLineTest, WaitDoesNotHoldTheLockWhileSleeping) {
  OpenSlot(0);
  std::atomic<bool> waiting{false};
  std::atomic<int> result{-2};
  // Up to 25 polls of 200 ms for a reply to begin.
  std::thread waiter([&] {
    waiting.store(true);
    result.store(Kbapi_COMRecvChars(200, 25, 2, 1024, 0));
  });
  while (!waiting.load()) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Sending while the other thread waits on the same port. Were the lock
  // held across the sleeps, this send would only get through after the
  // wait had given up with 0.
  EXPECT_EQ(1, Send("Q1\r", 0));
  waiter.join();
  EXPECT_EQ(5, result.load());
  EXPECT_EQ("<Q1>\r", Receive(5, 0));
}

TEST_F(SerlinkLineTest, ThreadsShareASlotWhileItIsReopened) {
  std::atomic<bool> done{false};
  std::thread user([&] {
    uint8_t buffer[16];
    while (!done.load()) {
      int enabled = Kbapi_COMGetCommEnable(0);
      EXPECT_TRUE(enabled == 0 || enabled == 1);
      EXPECT_GE(Kbapi_COMRecvChars(0, 1, 1, 16, 0), -1);
      int got = Kbapi_COMRecvString(buffer, sizeof buffer, 0);
      EXPECT_TRUE(got >= -1 && got <= 16);
      Kbapi_COMFlushRxBuff(0);
    }
  });
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(1, Kbapi_COMPortOpen(device(), 9600, 0));
    Kbapi_COMPortClose(0);
  }
  done.store(true);
  user.join();
  EXPECT_EQ(0, Kbapi_COMGetCommEnable(0));
}

// ---------------------------------------------------------------------------
// One request and its reply.

TEST_F(SerlinkLineTest, MessageProcsExchangesOneRequest) {
  OpenSlot(0);
  // Only the first three bytes are the request; "JUNK" is never sent.
  Exchange exchange = MessageProcs("Q1\rJUNK", 3, 64, 50, 0);
  EXPECT_EQ(1, exchange.result);
  EXPECT_EQ(5, exchange.count);
  EXPECT_EQ("<Q1>\r", exchange.reply);
  EXPECT_EQ(0, Queued(0));
}

TEST_F(SerlinkLineTest, MessageProcsDiscardsWhatWaitedBefore) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("A\r", 0));
  ASSERT_EQ(4, WaitForReply(0));
  Exchange exchange = MessageProcs("B\r", 2, 64, 50, 0);
  EXPECT_EQ(1, exchange.result);
  EXPECT_EQ(4, exchange.count);
  EXPECT_EQ("<B>\r", exchange.reply);
}

TEST_F(SerlinkLineTest, MessageProcsTakesAtMostTheCount) {
  OpenSlot(0);
  Exchange exchange = MessageProcs("LONG\r", 5, 10, 50, 0);
  EXPECT_EQ(1, exchange.result);
  EXPECT_EQ(10, exchange.count);
  // Nothing past the ten bytes was written into the buffer; the other 90
  // stay in the queue (the wait ended early, so let the rest arrive).
  EXPECT_EQ("0123456789", exchange.reply);
  EXPECT_EQ(90, WaitForReply(0));
}

TEST_F(SerlinkLineTest, MessageProcsWithoutReplySetsTheCountToZero) {
  OpenSlot(0);
  Exchange exchange = MessageProcs("SILENT\r", 7, 64, 20, 0);
  EXPECT_EQ(0, exchange.result);
  EXPECT_EQ(0, exchange.count);
  EXPECT_EQ("", exchange.reply);
}

// ---------------------------------------------------------------------------
// Speed, break and modem lines.

TEST_F(SerlinkLineTest, SpeedIsCutToSixteenBits) {
  // 75136 is 0x12580; its low 16 bits are 0x2580, 9600.
  const uint32_t wide = WideSpeed(1, 9600);
  ASSERT_EQ(75136u, wide);
  EXPECT_EQ(1, Kbapi_COMPortOpen(device(), wide, 0));
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
}

TEST_F(SerlinkLineTest, SetBoudrateDiscardsBothQueues) {
  OpenSlot(0);
  ASSERT_EQ(1, Send("Q1\r", 0));
  ASSERT_EQ(5, WaitForReply(0));
  Kbapi_COMSetBoudrate(4800, 0);
  EXPECT_EQ(0, Queued(0));
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  EXPECT_EQ("<Q2>\r", Ask("Q2\r", 0));
}

TEST_F(SerlinkLineTest, ModemLineCallsNeverSpoilThePort) {
  OpenSlot(0);
  // A pseudo-terminal has no modem lines: the platform may refuse, and the
  // results say so (0) without closing or upsetting the port.
  for (int on : {1, 2, 0}) {
    int rts = Kbapi_COMSetRTS(on, 0);
    int dtr = Kbapi_COMSetDTR(on, 0);
    EXPECT_TRUE(rts == 0 || rts == 1);
    EXPECT_TRUE(dtr == 0 || dtr == 1);
  }
  uint32_t status = 0;
  int read = Kbapi_COMGetModemStatus(&status, 0);
  EXPECT_TRUE(read == 0 || read == 1);
  EXPECT_EQ(0, Kbapi_COMGetModemStatus(nullptr, 0));
  Kbapi_COMSetBreak(0);
  Kbapi_COMClearBreak(0);
  EXPECT_EQ(1, Kbapi_COMGetCommEnable(0));
  Kbapi_COMFlushRxBuff(0);
  EXPECT_EQ("<Q1>\r", Ask("Q1\r", 0));
}

}  // namespace
}  // namespace test
}  // namespace zep
