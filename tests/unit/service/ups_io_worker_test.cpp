// The UPS I/O worker on a real loopback endpoint (ports from 47640 down):
// first against a scripted serial link, for what goes back to the client
// and what never ends the loop; then end to end against a UPS on a serial
// line (the simulator), where a text UPS answers for itself and a binary
// UPS gets its answers built by the translation.
#include "link/ups_io_worker.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_serial_link.h"
#include "host/worker_table.h"
#include "protocol/binary_frames.h"
#include "protocol/ups_state.h"
#include "serlink32.h"
#include "test_context.h"
#include "test_endpoint.h"
#include "udp.h"
#include "ups_line.h"
#include "worker_on_thread.h"

namespace zep {
namespace {

constexpr int kWorkerPort = 47640;
using Client = LoopbackClient;

// ---- Against a scripted serial link ---------------------------------------

class UpsIoLoopTest : public ::testing::Test {
 protected:
  UpsIoLoopTest() : worker_(kWorkerPort) {
    // An ASCII UPS: commands and replies pass unchanged.
    state_.protocol_mode = 0;
  }

  void Start() {
    ASSERT_TRUE(worker_.opened());
    worker_.Start([this] {
      result_ = ServeUpsCommands(worker_.endpoint(), translator_);
    });
  }
  int Stop() {
    worker_.Stop();
    return result_;
  }

  UpsState state_;
  ReplyAssembly reply_;
  FakeSerialLink link_;
  Translator translator_{state_, reply_, link_};
  int result_ = 0;
  // Last: the thread ends before the members it uses go.
  WorkerOnThread worker_;
};

TEST_F(UpsIoLoopTest, AnswersGoBackToTheSenderAndSilenceSendsNothing) {
  link_.ScriptReply("(101.0 101.0\r");
  link_.ScriptReply("");  // the UPS stays silent for the second command
  // A reply of a NUL and CR: the answer text ends at the NUL, so it is
  // empty and goes back as an empty datagram.
  link_.ScriptReply(std::string("\0\r", 2));
  link_.ScriptReply("OK\r");
  Start();
  Client client(worker_.port());

  EXPECT_EQ("(101.0 101.0\r", client.Ask("Q1\r"));
  client.Send("&K\r");
  EXPECT_FALSE(client.Arrives(500));
  client.Send("&N\r");
  ASSERT_TRUE(client.Arrives(Client::kWaitMs));
  EXPECT_EQ("", client.Receive());
  EXPECT_EQ("OK\r", client.Ask("T\r"));

  EXPECT_EQ(-1, Stop());
  const std::vector<FakeSerialLink::Bytes> expected = {
      {'Q', '1', '\r'}, {'&', 'K', '\r'}, {'&', 'N', '\r'}, {'T', '\r'}};
  EXPECT_EQ(expected, link_.sent());
}

TEST_F(UpsIoLoopTest, OddDatagramsArePassedOverAndTheLoopGoesOn) {
  link_.ScriptReply("A\r");
  link_.ScriptReply("B\r");
  Start();
  Client client(worker_.port());

  // An empty datagram from a client is no command and no stop signal.
  client.Send("");
  // 1024 bytes fill the receive buffer: no room for the terminator, and
  // it may have been longer still. Dropped, never cut.
  client.Send(std::string(kUpsIoReceiveSize, 'X'));
  // 1023 bytes are the longest command, passed whole.
  const std::string longest = std::string(1022, 'Y') + "\r";
  EXPECT_EQ("A\r", client.Ask(longest));
  EXPECT_EQ("B\r", client.Ask("Q1\r"));

  EXPECT_EQ(-1, Stop());
  ASSERT_EQ(2u, link_.sent().size());
  EXPECT_EQ(1023u, link_.sent()[0].size());
  EXPECT_EQ(FakeSerialLink::Bytes({'Q', '1', '\r'}), link_.sent()[1]);
}

// ---- End to end against a UPS on a serial line ----------------------------

class UpsIoLineTest : public ::testing::Test {
 protected:
  UpsIoLineTest() : records_(kWithUpsState) {}
  ~UpsIoLineTest() override {
    worker_.reset();
    Kbapi_COMPortClose(0);
  }

  // Opens port slot 0 of the serial library on the UPS, as the port search
  // leaves it, and starts the worker of slot 0 on a fresh state record.
  // False (with the reason in why_) when there is no UPS line.
  bool Start(UpsLanguage language) {
    line_ = OpenUpsLine(language, &why_);
    if (!line_) return false;
    EXPECT_EQ(1, Kbapi_COMPortOpen(line_->Device().c_str(), kUpsLineBaud, 0))
        << line_->Device();
    ResetUpsState(records_.ups_state);
    worker_ = std::make_unique<WorkerOnThread>(
        kWorkerPort, true, &records_.context, kWorkerKindUpsIo);
    EXPECT_TRUE(worker_->opened());
    worker_->Start(&UpsIoWorker);
    client_ = std::make_unique<Client>(worker_->port());
    return true;
  }
  int Mode() const { return records_.ups_state.protocol_mode.load(); }

  std::string why_;
  std::unique_ptr<UpsLine> line_;
  TestContext records_;
  std::unique_ptr<WorkerOnThread> worker_;
  std::unique_ptr<Client> client_;
};

// The answers of the simulator's text UPS (model T-PWR15J1, normal state)
// and of the translation for its binary UPS (ZPX-A1500JC, normal state) are
// the same texts, worked out from the simulator's readings: input 101.0 V
// (the highest seen, too), output 100.0 V, load 35 %, output and input
// 50.0 Hz, battery 27.5 V, temperature 25.0 C, output 1500 VA x 35 % = 525
// VA (525 / 100 + 0.5 = 5); limits 10 % and 110 %; "&S1" alarm byte 00,
// state byte 02 (on line), setting code 001.
constexpr char kS1Answer[] = "000200100101100\r";
constexpr char kQ1Answer[] = "(101.0 101.0 100.0 035 50.0 27.5 25.0 00000001\r";
constexpr char kQQAnswer[] =
    "(1010 1000 FFFFFFFF 035 500 500 0275 250 005 00000110\r";

TEST_F(UpsIoLineTest, TextUpsAnswersForItself) {
  if (!Start(UpsLanguage::kText)) GTEST_SKIP() << why_;
  // The first command is the probe: the binary identification request
  // with a CR, which a text UPS refuses with "NG"; the client gets that
  // answer and the mode is settled as text.
  EXPECT_EQ("NG\r", client_->Ask("M\r"));
  EXPECT_EQ(0, Mode());
  EXPECT_EQ("00\r", client_->Ask("M\r"));
  EXPECT_EQ(kQ1Answer, client_->Ask("Q1\r"));
  EXPECT_EQ(kQQAnswer, client_->Ask("QQ\r"));
  EXPECT_EQ("T-PWR15J1 01.02\r", client_->Ask("&M\r"));
}

TEST_F(UpsIoLineTest, BinaryUpsGetsTheAnswersATextUpsWouldGive) {
  if (!Start(UpsLanguage::kBinary)) GTEST_SKIP() << why_;
  // The probe is answered with the identification chain: binary from then
  // on, and "&S1" is answered from the state at once.
  std::string first = client_->Ask("&S1\r");
  EXPECT_EQ(1, Mode());
  ASSERT_EQ(16u, first.size()) << first;
  EXPECT_EQ('\r', first.back());

  // Eight more commands finish the identification run (ratings, operating
  // state, flags, limits, groups, measurements, alarms, test state).
  for (int i = 0; i < 8; ++i) {
    std::string answer = client_->Ask("&S1\r");
    ASSERT_EQ(16u, answer.size()) << i << ": " << answer;
  }
  EXPECT_EQ(kS1Answer, client_->Ask("&S1\r"));
  EXPECT_EQ(kQ1Answer, client_->Ask("Q1\r"));
  EXPECT_EQ(kQQAnswer, client_->Ask("QQ\r"));
  // The model cut to nine characters, then the firmware version 01.05.
  EXPECT_EQ("ZPX-A1500 01.05\r", client_->Ask("&M\r"));
  // A command no row knows still drives a poll, and its client gets "NG".
  EXPECT_EQ("NG", client_->Ask("?\r"));
  EXPECT_EQ(1, Mode());
}

}  // namespace
}  // namespace zep
