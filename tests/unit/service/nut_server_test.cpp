// The NUT server's loop over real loopback connections (a port the system
// chooses): logged-in secondaries counted until their connection closes,
// the shutdown shown to every client, a full server making room only from
// clients that are not logged in, idle clients closed, and an address that
// cannot be listened on.
#include "nut/nut_server.h"

#include <gtest/gtest.h>

#include <string>

#include "process.h"
#include "tcp.h"
#include "test_context.h"
#include "wait_until.h"

namespace zep {
namespace {

constexpr int kWaitMs = 5000;

// A client that sends lines and reads what comes back.
class Client {
 public:
  explicit Client(int port) : socket_(tcp::Connect("127.0.0.1", port)) {}
  ~Client() { tcp::Close(socket_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return socket_ != kNoSocket; }

  // Sends `line` and a line feed and returns the reply up to `lines` line
  // feeds ("" when none came).
  std::string Ask(const std::string& line, int lines = 1) {
    const std::string bytes = line + "\n";
    tcp::Send(socket_, bytes.data(), static_cast<int>(bytes.size()));
    std::string reply;
    const int64_t end = MonotonicMilliseconds() + kWaitMs;
    while (Count(reply) < lines && MonotonicMilliseconds() < end) {
      if (!Read(&reply)) break;
    }
    return reply;
  }

  // Whether the server closes the connection within the wait.
  bool Closed() {
    std::string ignored;
    const int64_t end = MonotonicMilliseconds() + kWaitMs;
    while (MonotonicMilliseconds() < end) {
      if (!Read(&ignored)) return true;
    }
    return false;
  }

 private:
  static int Count(const std::string& text) {
    int n = 0;
    for (char c : text) n += c == '\n';
    return n;
  }
  // False once the peer has closed or failed.
  bool Read(std::string* out) {
    tcp::WaitEntry entry;
    entry.socket = socket_;
    entry.want_read = true;
    if (tcp::Wait(&entry, 1, 50) <= 0) return true;
    char buffer[1024];
    const int n = tcp::Receive(socket_, buffer, sizeof buffer);
    if (n == tcp::kWouldBlock) return true;
    if (n <= 0) return false;
    out->append(buffer, static_cast<size_t>(n));
    return true;
  }

  SocketHandle socket_;
};

class NutServerTest : public ::testing::Test {
 protected:
  NutServerTest() : records_(kWithEvents | kWithSummary | kWithMessages) {
    tcp::StartLibrary();
    settings_.listen = {"127.0.0.1"};
    settings_.port = 0;
    settings_.identity.user = "mon";
    settings_.identity.password = "secret";
    settings_.host_sync_seconds = 7;
  }
  ~NutServerTest() override {
    server_.Stop();
    tcp::CleanupLibrary();
  }

  int Start(const NutLimits& limits = NutLimits()) {
    EXPECT_EQ(1, server_.Start(records_.context, settings_, limits));
    return server_.ListeningPort(0);
  }
  static void LogIn(Client& client) {
    EXPECT_EQ("OK\n", client.Ask("USERNAME mon"));
    EXPECT_EQ("OK\n", client.Ask("PASSWORD secret"));
    EXPECT_EQ("OK\n", client.Ask("LOGIN zep"));
  }
  bool LoggedInBecomes(int n) {
    return WaitUntil([&] { return server_.PeersLoggedIn() == n; }, kWaitMs, 10);
  }

  TestContext records_;
  NutSettings settings_;
  NutServer server_;
};

TEST_F(NutServerTest, SecondariesCountUntilTheyCloseAndSeeTheShutdown) {
  const int port = Start();
  ASSERT_GT(port, 0);
  EXPECT_EQ(7000, server_.WaitLimitMs());
  auto secondary = std::make_unique<Client>(port);
  Client watcher(port);
  ASSERT_TRUE(secondary->connected() && watcher.connected());
  LogIn(*secondary);
  EXPECT_TRUE(LoggedInBecomes(1));
  EXPECT_EQ("NUMLOGINS zep 1\n", watcher.Ask("GET NUMLOGINS zep"));

  // Polled and on battery.
  records_.summary.summary_severity.store(1);
  SetActiveEvent(records_.events, 3368, 2, 1700000000);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return watcher.Ask("GET VAR zep ups.status") ==
               "VAR zep ups.status \"OB\"\n";
      },
      kWaitMs, 10));
  server_.BeginShutdown();
  EXPECT_EQ("VAR zep ups.status \"FSD OB\"\n",
            secondary->Ask("GET VAR zep ups.status"));

  // Gone without LOGOUT, as upsmon goes.
  secondary.reset();
  EXPECT_TRUE(LoggedInBecomes(0));
  EXPECT_EQ("NUMLOGINS zep 0\n", watcher.Ask("GET NUMLOGINS zep"));
}

TEST_F(NutServerTest, AFullServerMakesRoomFromClientsNotLoggedIn) {
  NutLimits limits;
  limits.connections = 2;
  limits.idle_ms = 1500;
  const int port = Start(limits);
  Client secondary(port);
  LogIn(secondary);
  Client first(port);
  EXPECT_EQ("1.3\n", first.Ask("NETVER"));

  // A third connection takes the place of the one not logged in.
  Client second(port);
  EXPECT_EQ("1.3\n", second.Ask("NETVER"));
  EXPECT_TRUE(first.Closed());
  EXPECT_EQ("NUMLOGINS zep 1\n", secondary.Ask("GET NUMLOGINS zep"));

  // Silent clients are closed after the idle time, logged in or not.
  EXPECT_TRUE(second.Closed());
  EXPECT_TRUE(secondary.Closed());
  EXPECT_TRUE(LoggedInBecomes(0));
}

TEST_F(NutServerTest, AnAddressThatCannotBeListenedOnStartsNothing) {
  std::string error;
  SocketHandle holder = tcp::Listen("127.0.0.1", 0, &error);
  ASSERT_NE(kNoSocket, holder) << error;
  settings_.port = tcp::LocalPort(holder);
  settings_.listen = {"127.0.0.1", "not-an-address"};
  EXPECT_EQ(0, server_.Start(records_.context, settings_));
  EXPECT_FALSE(server_.Running());
  tcp::Close(holder);
  // Without addresses nothing at all.
  settings_.listen.clear();
  EXPECT_EQ(0, server_.Start(records_.context, settings_));
  EXPECT_FALSE(server_.Running());
}

}  // namespace
}  // namespace zep
