// The monitor of the built zeps as a black box: started in console mode
// from a scratch copy of the bin directory, with shell scripts that record
// how they were started, against the simulator on its pseudo-terminal
// (ZEP_PORT), on the service's fixed ports. What the UPS sees on the wire,
// the status records of the search and the identification, the
// information items as clients read them from port 60055, and a lost link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator.h"
#include "udp.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr int kWaitMs = 60000;  // Generous: only a failing test waits it out.

constexpr const char* kScripts[] = {"status", "event", "powerrecovery"};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Strings Lines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// zeps -debug from a scratch directory whose ZEP.conf names the device.
class ServiceRun {
 public:
  explicit ServiceRun(const std::string& device) {
    std::random_device random;
    dir_ = fs::temp_directory_path() /
           ("zeps-monitor-" + std::to_string(random()));
    fs::create_directories(dir_);
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "zeps", dir_ / "zeps");
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "libserlink32.so",
                  dir_ / "libserlink32.so");
    for (const char* name : kScripts) {
      std::ofstream script(dir_ / (std::string(name) + ".sh"));
      script << "line=" << name << "\n"
             << "for a in \"$@\"; do line=\"$line|$a\"; done\n"
             << "echo \"$line\" >> \"$(dirname \"$0\")/scripts.log\"\n";
    }
    std::ofstream conf(dir_ / "ZEP.conf");
    conf << "[CONFIG]\n"
         << "ZEP_PORT=" << device << "\n"
         << "ZEP_MON_CYCLE=20\n";
  }

  ~ServiceRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  bool Start() {
    std::string program = (dir_ / "zeps").string();
    std::string option = "-debug";
    char* argv[] = {&program[0], &option[0], nullptr};
    Strings env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      // The settings come from ZEP.conf alone.
      if (std::strncmp(*entry, "ZEP_", 4) != 0 &&
          std::strncmp(*entry, "NOTIFY_SOCKET=", 14) != 0) {
        env_text.push_back(*entry);
      }
    }
    std::vector<char*> envp;
    for (std::string& text : env_text) envp.push_back(&text[0]);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                     O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO,
                                     (dir_ / "stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO,
                                     (dir_ / "stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  // Ctrl+C, and the exit code (-1 after the wait).
  int Stop() {
    kill(pid_, SIGINT);
    for (int waited = 0; waited <= kWaitMs; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      Pause(20);
    }
    return -1;
  }

  Strings Scripts() { return Lines(ReadAll(dir_ / "scripts.log")); }
  std::string Stderr() { return ReadAll(dir_ / "stderr.txt"); }

  // The script lines that start with `prefix`.
  Strings ScriptsWith(const std::string& prefix) {
    Strings found;
    for (const std::string& line : Scripts()) {
      if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
    }
    return found;
  }

  // Waits until `times` script lines start with `prefix`.
  bool WaitForScript(const std::string& prefix, int times = 1) {
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      if (static_cast<int>(ScriptsWith(prefix).size()) >= times) return true;
      Pause(20);
    }
    return false;
  }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

// The text of information item `id` as a client reads it from the external
// command port (message kind 5); "<none>" without an answer.
std::string InformationItem(int id) {
  zep::UdpEndpoint client;
  if (zep::OpenEndpoint(&client, 0) < 0) return "<no endpoint>";
  zep::SetPeerPort(&client, zep::kExternalPort);
  char text[300] = {};
  int length = zep::RequestText(text, &client, 5, id, 0);
  zep::CloseEndpoint(&client);
  return length < 0 ? "<none>" : std::string(text);
}

// The text requests the simulator received, as its log shows them.
Strings TextRequests(const zep::Simulator& sim) {
  Strings requests;
  for (const std::string& line : sim.LogLines()) {
    size_t marker = line.find(" rx \"");
    if (marker != std::string::npos)
      requests.push_back(line.substr(marker + 4));
  }
  return requests;
}

struct SimulatorRun {
  explicit SimulatorRun(zep::SimProtocol protocol, int baud) {
    zep::SimOptions options;
    options.protocol = protocol;
    options.baud = baud;
    sim.reset(new zep::Simulator(options));
    started = sim->Start(&error);
  }
  ~SimulatorRun() { sim->Stop(); }
  std::unique_ptr<zep::Simulator> sim;
  bool started = false;
  std::string error;
};

TEST(MonitorBlackBox, TextUpsAt2400IsFoundIdentifiedAndPolled) {
  SimulatorRun ups(zep::SimProtocol::kText, 2400);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(ups.sim->DevicePath());
  ASSERT_TRUE(run.Start());
  // The device at 19200, 9600 and 4800 (not answered), then at 2400.
  ASSERT_TRUE(run.WaitForScript("status|1|120|")) << run.Stderr();
  ASSERT_TRUE(run.WaitForScript("event|1|1|64")) << run.Stderr();

  // Items 0, 2 and 3 of the identification, 7 of the battery figure.
  EXPECT_EQ("T-PWR15J1", InformationItem(0));
  EXPECT_EQ("1.2", InformationItem(2));
  EXPECT_EQ("15001", InformationItem(3));
  EXPECT_EQ("100", InformationItem(7));
  // 4 to 6 from the ratings, by the meter thread.
  EXPECT_EQ("1500", InformationItem(4));
  EXPECT_EQ("1500", InformationItem(5));
  EXPECT_EQ("100", InformationItem(6));
  EXPECT_EQ(0, run.Stop());

  EXPECT_EQ((Strings{"status|1|1|Port|COM1|2400bps",
                     "status|1|110|System Information|T-PWR15J1|1.2|15001",
                     "status|1|120|Rated Information|1500VA|1500W|100V"}),
            (Strings{run.ScriptsWith("status|1|1|")[0],
                     run.ScriptsWith("status|1|110|")[0],
                     run.ScriptsWith("status|1|120|")[0]}));
  EXPECT_EQ(3, ups.sim->Counters().ignored);
  // The first probe at each speed is logged as text here (the binary
  // request and its CR); at 2400 the second probe went out as "M\r".
  Strings requests = TextRequests(*ups.sim);
  ASSERT_GE(requests.size(), 17u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ("\"\\xAB", requests[i].substr(0, 5)) << i;
  }
  EXPECT_EQ(
      (Strings{"\"M\\r\"", "\"&K\\r\"", "\"%ZQ\\r\"", "\"&M\\r\"", "\"%N\\r\"",
               "\"%M\\r\"", "\"M\\r\"", "\"&S1\\r\"", "\"&N\\r\"", "\"&S1\\r\"",
               "\"QQ\\r\"", "\"&R\\r\"", "\"Q1\\r\""}),
      Strings(requests.begin() + 4, requests.begin() + 17));
}

TEST(MonitorBlackBox, BinaryUpsIsIdentifiedThroughTheTranslation) {
  SimulatorRun ups(zep::SimProtocol::kBinary, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(ups.sim->DevicePath());
  ASSERT_TRUE(run.Start());
  ASSERT_TRUE(run.WaitForScript("status|1|120|")) << run.Stderr();
  EXPECT_EQ("ZPX-A1500JC", InformationItem(0));
  EXPECT_EQ("1500VA/1350W", InformationItem(1));
  EXPECT_EQ("01.05", InformationItem(2));
  EXPECT_EQ("SN A15-00012345", InformationItem(12));
  EXPECT_EQ(0, run.Stop());
  EXPECT_EQ(
      (Strings{"status|1|1|Port|COM1|19200bps",
               "status|1|110|System Information|ZPX-A1500JC|1500VA/1350W|01.05",
               "status|1|120|Rated Information|1500VA|1350W|100V"}),
      (Strings{run.ScriptsWith("status|1|1|")[0],
               run.ScriptsWith("status|1|110|")[0],
               run.ScriptsWith("status|1|120|")[0]}));
  EXPECT_EQ(1, ups.sim->Counters().probes);
  EXPECT_TRUE(ups.sim->Counters().text_requests.empty());
}

TEST(MonitorBlackBox, LostLinkBeginsAndEndsEvent3880) {
  SimulatorRun ups(zep::SimProtocol::kText, 19200);
  ASSERT_TRUE(ups.started) << ups.error;
  ServiceRun run(ups.sim->DevicePath());
  ASSERT_TRUE(run.Start());
  ASSERT_TRUE(run.WaitForScript("event|1|1|64")) << run.Stderr();
  EXPECT_TRUE(run.ScriptsWith("event|1|3|3880").empty());

  ups.sim->SetState(zep::SimState::kSilence);
  ASSERT_TRUE(run.WaitForScript("event|1|3|3880")) << run.Stderr();
  ups.sim->SetState(zep::SimState::kNormal);
  ASSERT_TRUE(run.WaitForScript("event|0|3|3880")) << run.Stderr();
  EXPECT_EQ(0, run.Stop());

  // Identified twice on the one port found; no power recovery, as the
  // mains never failed.
  EXPECT_EQ(1u, run.ScriptsWith("status|1|1|Port|").size());
  EXPECT_EQ(2u, run.ScriptsWith("status|1|110|").size());
  EXPECT_TRUE(run.ScriptsWith("powerrecovery").empty());
}

}  // namespace
