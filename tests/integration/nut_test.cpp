// The NUT protocol server of the built zeps against Debian's own clients
// (nut-client: upsc and upsmon), with the simulator as the UPS: the values
// upsc lists, the status through a power failure, a low battery, the mains
// back and a silent UPS; upsmon as a secondary that logs in, hears of the
// changes and shuts its computer down on a low battery and when the
// service's shutdown sets FSD; hostile clients that hold up neither the
// others nor the polling; and nothing listening unless it is asked for.
// Everything here is on the service's fixed ports and TCP port 3493.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "service_harness.h"
#include "tcp.h"

extern char** environ;

namespace zep {
namespace {

namespace fs = std::filesystem;

constexpr char kUpsc[] = "/usr/bin/upsc";
constexpr char kUpsmon[] = "/lib/nut/upsmon";
constexpr int kNutPort = 3493;

// Runs of many seconds are left to the plain build; the sanitizer builds
// run the hostile clients, which take the server's paths the hardest.
#if defined(ZEP_SANITIZED_BUILD)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
constexpr char kPlainBuildOnly[] = "a run of many seconds: plain build only";

// upsc's output and errors, without the line its TLS library always
// prints.
std::string Upsc(const std::string& args) {
  const std::string command =
      std::string("timeout 20 ") + kUpsc + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return "<no upsc>";
  std::string out;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    if (std::string(line).rfind("Init SSL", 0) != 0) out += line;
  }
  pclose(pipe);
  return out;
}

bool UpscSays(const std::string& args, const std::string& text) {
  return WaitUntil([&] { return Upsc(args) == text; }, kBlackBoxWaitMs, 100);
}

bool TcpPortTaken(int port) {
  std::string error;
  SocketHandle s =
      tcp::Listen("127.0.0.1", static_cast<uint16_t>(port), &error);
  if (s == kNoSocket) return true;
  tcp::Close(s);
  return false;
}

Installation NutInstallation(const std::string& device,
                             const Strings& extra = {}) {
  Installation installation;
  installation.tag = "nut";
  installation.recording_scripts = {"status", "exec"};
  installation.settings = {"ZEP_PORT=" + device, "ZEP_MON_CYCLE=20",
                           "ZEP_EXEC_WAIT=1",    "ZEP_NUT_LISTEN=127.0.0.1",
                           "ZEP_NUT_USER=mon",   "ZEP_NUT_PASSWORD=secret"};
  installation.settings.insert(installation.settings.end(), extra.begin(),
                               extra.end());
  return installation;
}

class NutEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kUpsc, X_OK) != 0 || access(kUpsmon, X_OK) != 0) {
      GTEST_SKIP() << "Debian's nut-client is not installed (scripts/setup.sh "
                      "installs it)";
    }
    if (TcpPortTaken(kNutPort)) {
      GTEST_SKIP() << "another program holds TCP port 3493; these tests need "
                      "it for themselves";
    }
    ups_ = std::make_unique<SimulatorRun>(SimProtocol::kText, 19200);
    ASSERT_TRUE(ups_->started) << ups_->error;
  }

  // zeps with the server on, polled once and its values metered.
  ::testing::AssertionResult StartService(const Strings& extra = {}) {
    run_ = std::make_unique<ServiceRun>(
        NutInstallation(ups_->sim.DevicePath(), extra));
    return run_->StartAndWaitForScript({"-debug"},
                                       "status|1|120|Rated Information");
  }

  Simulator& sim() { return ups_->sim; }

  std::unique_ptr<SimulatorRun> ups_;
  std::unique_ptr<ServiceRun> run_;
};

TEST_F(NutEndToEnd, UpscListsTheSimulatorsValuesAndFollowsItsStates) {
  if (kSanitizedBuild) GTEST_SKIP() << kPlainBuildOnly;
  ASSERT_TRUE(StartService());
  ASSERT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OL\n")) << run_->Stderr();
  // The simulator's text UPS T-PWR15J1 on the mains: "QQ" gives input
  // 101.0 V, output 100.0 V, load 35 %, 50.0 Hz in and out, battery
  // 27.5 V, 25.0 C and 0.5 kVA; "&R" a capacity of 100; the model text
  // 1500 VA and W at 100 V; "%M" the version 1.2.
  EXPECT_EQ(
      "battery.charge: 100\n"
      "battery.voltage: 27.5\n"
      "device.model: T-PWR15J1\n"
      "device.type: ups\n"
      "driver.name: zeps\n"
      "input.frequency: 50.0\n"
      "input.voltage: 101.0\n"
      "input.voltage.nominal: 100\n"
      "output.frequency: 50.0\n"
      "output.voltage: 100.0\n"
      "output.voltage.nominal: 100\n"
      "ups.firmware: 1.2\n"
      "ups.load: 35\n"
      "ups.model: T-PWR15J1\n"
      "ups.power: 500\n"
      "ups.power.nominal: 1500\n"
      "ups.realpower.nominal: 1500\n"
      "ups.status: OL\n"
      "ups.temperature: 25.0\n",
      Upsc("zep@127.0.0.1"));
  EXPECT_EQ("zep: ZEP UPS\n", Upsc("-L 127.0.0.1"));

  sim().SetState(SimState::kMainsFailure);
  EXPECT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OB\n"));
  sim().SetState(SimState::kBatteryLow);
  EXPECT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OB LB\n"));
  EXPECT_EQ("10\n", Upsc("zep@127.0.0.1 battery.charge"));
  sim().SetState(SimState::kNormal);
  EXPECT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OL\n"));
  sim().SetState(SimState::kSilence);
  EXPECT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "Error: Data stale\n"));
  EXPECT_EQ(0, run_->Stop());
}

// upsmon's own configuration in a scratch directory, with its notices and
// its shutdown command recorded in `log`.
void WriteUpsmonConfig(const fs::path& dir, const fs::path& log) {
  fs::create_directories(dir);
  {
    std::ofstream notify(dir / "notify.sh");
    notify << "#!/bin/sh\necho \"$NOTIFYTYPE\" >> " << log << "\n";
  }
  fs::permissions(dir / "notify.sh", fs::perms::owner_all);
  std::ofstream conf(dir / "upsmon.conf");
  conf << "MONITOR zep@127.0.0.1 1 mon secret secondary\n"
       << "MINSUPPLIES 1\n"
       << "SHUTDOWNCMD \"/bin/sh -c 'echo SHUTDOWNCMD >> " << log.string()
       << "'\"\n"
       << "NOTIFYCMD " << (dir / "notify.sh").string() << "\n"
       << "POWERDOWNFLAG " << (dir / "killpower").string() << "\n";
  for (const char* type : {"ONLINE", "ONBATT", "LOWBATT", "FSD", "SHUTDOWN"}) {
    conf << "NOTIFYFLAG " << type << " EXEC\n";
  }
  // Quick: a poll every second, no final delay, one second for the primary
  // to set FSD once the battery is low.
  conf << "POLLFREQ 1\nPOLLFREQALERT 1\nFINALDELAY 0\nDEADTIME 3\n"
       << "HOSTSYNC 1\n";
  conf.close();
  fs::permissions(dir / "upsmon.conf",
                  fs::perms::owner_read | fs::perms::owner_write);
}

// upsmon in the foreground as one process. As root it gets a mount
// namespace with a /run/nut of its own, so that its PID file neither
// meets nor leaves one of a real upsmon on this computer.
class Upsmon {
 public:
  explicit Upsmon(const fs::path& dir) {
    const std::string out = (dir / "upsmon.out").string();
    const std::string script =
        std::string(
            "if [ \"$(id -u)\" = 0 ] && unshare -m true 2>/dev/null; "
            "then exec unshare -m sh -c 'mount -t tmpfs none /run/nut "
            "2>/dev/null; exec ") +
        kUpsmon + " -D -F -p'; else exec " + kUpsmon + " -D -F -p; fi";
    std::vector<std::string> env = {"NUT_CONFPATH=" + dir.string(),
                                    "NUT_STATEPATH=" + dir.string(),
                                    "NUT_ALTPIDPATH=" + dir.string()};
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr,
                    const_cast<char* const*>(argv), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Upsmon() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool started() const { return pid_ > 0; }
  // Whether it has ended (it does after running its shutdown command).
  bool Ended() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  }

 private:
  pid_t pid_ = -1;
};

TEST_F(NutEndToEnd, UpsmonSecondaryFollowsAndShutsDownOnLowBatteryAndOnFsd) {
  if (kSanitizedBuild) GTEST_SKIP() << kPlainBuildOnly;
  // The service waits long for the secondaries, so that the order shows.
  ASSERT_TRUE(StartService({"ZEP_NUT_HOSTSYNC=40"}));
  const fs::path dir = run_->dir() / "upsmon";
  const fs::path log = run_->dir() / "upsmon.log";
  WriteUpsmonConfig(dir, log);
  auto logged = [&](const std::string& text) {
    return WaitUntil(
        [&] { return ReadFileText(log).find(text) != std::string::npos; },
        kBlackBoxWaitMs, 50);
  };

  {
    Upsmon upsmon(dir);
    ASSERT_TRUE(upsmon.started());
    ASSERT_TRUE(UpscSays("-c zep@127.0.0.1", "127.0.0.1\n"));
    sim().SetState(SimState::kMainsFailure);
    EXPECT_TRUE(logged("ONBATT\n"));
    sim().SetState(SimState::kNormal);
    EXPECT_TRUE(logged("ONBATT\nONLINE\n"));
    // On battery and low: the secondary waits a moment for FSD, then goes.
    sim().SetState(SimState::kBatteryLow);
    EXPECT_TRUE(logged("LOWBATT\n"));
    // Notices run in the background, so only the command's line is sure to
    // come in its place.
    EXPECT_TRUE(logged("SHUTDOWNCMD\n")) << ReadFileText(log);
    EXPECT_TRUE(WaitUntil([&] { return upsmon.Ended(); }, kBlackBoxWaitMs, 50));
  }

  // A second secondary joins during a mains failure without a low battery.
  sim().SetState(SimState::kMainsFailure);
  ASSERT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OB\n"));
  std::ofstream(log, std::ios::trunc).close();
  Upsmon upsmon(dir);
  ASSERT_TRUE(UpscSays("-c zep@127.0.0.1", "127.0.0.1\n"));
  // Ctrl+Break: the computer shuts down during the mains failure.
  run_->Signal(SIGQUIT);
  EXPECT_TRUE(logged("FSD\n"));
  EXPECT_TRUE(WaitUntil(
      [&] { return sim().Counters().last_control_text == "S02R00001\r"; },
      kBlackBoxWaitMs, 20));
  // The UPS command went out only after the secondary had run its shutdown
  // and gone, and long before the wait's limit.
  EXPECT_NE(std::string::npos, ReadFileText(log).find("SHUTDOWNCMD\n"));
  EXPECT_TRUE(WaitUntil([&] { return upsmon.Ended(); }, 2000, 20));
  EXPECT_EQ("", Upsc("-c zep@127.0.0.1"));
  EXPECT_EQ(0, run_->Stop());
}

// A connection of the test's own that sends what it is given and reads
// nothing unless asked.
class RawClient {
 public:
  RawClient() : socket_(tcp::Connect("127.0.0.1", kNutPort)) {}
  ~RawClient() { tcp::Close(socket_); }
  bool connected() const { return socket_ != kNoSocket; }
  void Send(const std::string& bytes) {
    size_t sent = 0;
    const int64_t end = MonotonicMs() + 2000;
    while (sent < bytes.size() && MonotonicMs() < end) {
      int n = tcp::Send(socket_, bytes.data() + sent,
                        static_cast<int>(bytes.size() - sent));
      if (n < 0 && n != tcp::kWouldBlock) return;
      if (n > 0) sent += static_cast<size_t>(n);
    }
  }
  // What comes until the server closes the connection (or the wait ends).
  std::string ReadToClose(int wait_ms = 10000) {
    std::string text;
    const int64_t end = MonotonicMs() + wait_ms;
    while (MonotonicMs() < end) {
      tcp::WaitEntry entry;
      entry.socket = socket_;
      entry.want_read = true;
      if (tcp::Wait(&entry, 1, 50) <= 0) continue;
      char buffer[4096];
      int n = tcp::Receive(socket_, buffer, sizeof buffer);
      if (n == tcp::kWouldBlock) continue;
      if (n <= 0) return text + "<closed>";
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

 private:
  static int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  SocketHandle socket_;
};

TEST_F(NutEndToEnd, HostileClientsHoldUpNeitherTheOthersNorThePolling) {
  ASSERT_TRUE(StartService());
  ASSERT_TRUE(UpscSays("zep@127.0.0.1 ups.status", "OL\n"));

  // More idle connections than the server serves at once.
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 40; ++i) idle.push_back(std::make_unique<RawClient>());
  // One that never reads the replies to its requests.
  RawClient deaf;
  std::string requests;
  for (int i = 0; i < 20000; ++i) requests += "LIST VAR zep\n";
  deaf.Send(requests);
  // A line longer than the protocol's, and bytes that are not text.
  RawClient talker;
  talker.Send(std::string(600, 'x'));
  RawClient junk;
  const char kJunk[] = "\x01\xFF\x80 GET\n";
  junk.Send(std::string(kJunk, sizeof kJunk - 1));

  const int polls = sim().Counters().text_requests["QQ\r"];
  EXPECT_EQ("OL\n", Upsc("zep@127.0.0.1 ups.status"));
  EXPECT_EQ("ERR TOO-LONG\n<closed>", talker.ReadToClose());
  EXPECT_EQ("ERR INVALID-ARGUMENT\n", junk.ReadToClose(500));
  EXPECT_TRUE(WaitUntil(
      [&] { return sim().Counters().text_requests["QQ\r"] >= polls + 2; },
      kBlackBoxWaitMs, 20));
  EXPECT_EQ("OL\n", Upsc("zep@127.0.0.1 ups.status"));
  EXPECT_EQ(0, run_->Stop());
}

TEST_F(NutEndToEnd, OffByDefaultAndATakenPortIsNoStop) {
  if (kSanitizedBuild) GTEST_SKIP() << kPlainBuildOnly;
  {
    Installation plain = NutInstallation(ups_->sim.DevicePath());
    plain.settings = {"ZEP_PORT=" + ups_->sim.DevicePath(), "ZEP_MON_CYCLE=20"};
    ServiceRun run(plain);
    // The server would be listening before the workers start.
    ASSERT_TRUE(run.StartAndWaitForScript({"-debug"}, "status|1|100|"));
    EXPECT_EQ(kNoSocket, tcp::Connect("127.0.0.1", kNutPort));
    EXPECT_EQ(std::string::npos, run.Stderr().find("NUT server"));
    EXPECT_EQ(0, run.Stop());
  }
  // Another NUT server has the port: a trace line, and the service works.
  std::string error;
  SocketHandle holder = tcp::Listen("127.0.0.1", kNutPort, &error);
  ASSERT_NE(kNoSocket, holder) << error;
  ASSERT_TRUE(StartService());
  EXPECT_TRUE(
      run_->WaitForTrace("NUT server: cannot listen on 127.0.0.1 port 3493"));
  EXPECT_EQ(0, run_->Stop());
  tcp::Close(holder);
}

}  // namespace
}  // namespace zep
