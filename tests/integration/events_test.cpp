// A power failure end to end: the built zeps in console mode, started from a
// scratch copy of the bin directory with shell scripts that record how they
// were started, talks to the simulator on its pseudo-terminal (ZEP_PORT) on
// the service's fixed ports. The simulator's state changes reach the
// scripts; SIGQUIT (Ctrl+Break) during the failure runs the UPS shutdown and
// the simulator receives its command.
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

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 60000;  // Generous: only a failing test waits it out.

// Every script the service may start; each appends one line "name|arg|..."
// to scripts.log.
constexpr const char* kScripts[] = {
    "status",      "event",    "powerfail", "emergency", "powerrecovery",
    "temperature", "overload", "meter",     "exec",
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class EventsRun {
 public:
  explicit EventsRun(const std::string& device) {
    std::random_device random;
    dir_ =
        fs::temp_directory_path() / ("zeps-events-" + std::to_string(random()));
    fs::create_directories(dir_);
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "zeps", dir_ / "zeps");
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "libserlink32.so",
                  dir_ / "libserlink32.so");
    for (const char* name : kScripts) {
      std::ofstream script(dir_ / (std::string(name) + ".sh"));
      // One write per line, so that scripts running at once do not mix.
      script << "line=" << name << "\n"
             << "for a in \"$@\"; do line=\"$line|$a\"; done\n"
             << "echo \"$line\" >> \"$(dirname \"$0\")/scripts.log\"\n";
    }
    std::ofstream conf(dir_ / "ZEP.conf");
    conf << "[CONFIG]\n"
         << "ZEP_PORT=" << device << "\n"
         << "ZEP_MON_CYCLE=20\n"
         << "ZEP_EXEC_WAIT=1\n";
  }

  ~EventsRun() {
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
    std::vector<std::string> env_text;
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

  void Signal(int sig) { kill(pid_, sig); }

  int WaitExit() {
    for (int waited = 0; waited <= kWaitMs; waited += 20) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::vector<std::string> Scripts() {
    return Lines(ReadAll(dir_ / "scripts.log"));
  }
  std::string Stdout() { return ReadAll(dir_ / "stdout.txt"); }
  std::string Stderr() { return ReadAll(dir_ / "stderr.txt"); }

  // Waits until a script line starts with `prefix` for the `nth` time
  // (counting from 1) and returns that line, or "" after the wait.
  std::string WaitForScript(const std::string& prefix, int nth = 1) {
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      int seen = 0;
      for (const std::string& line : Scripts()) {
        if (line.compare(0, prefix.size(), prefix) == 0 && ++seen == nth) {
          return line;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return "";
  }

  int CountScripts(const std::string& prefix) {
    int count = 0;
    for (const std::string& line : Scripts()) {
      if (line.compare(0, prefix.size(), prefix) == 0) ++count;
    }
    return count;
  }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

bool WaitForControl(zep::Simulator& sim, const std::string& text) {
  for (int waited = 0; waited < kWaitMs; waited += 20) {
    if (sim.Counters().last_control_text == text) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

TEST(EventsEndToEnd, PowerFailureEmergencyRecoveryAndTheUpsShutdown) {
  zep::SimOptions options;
  options.baud = 19200;  // the first speed the search tries
  zep::Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EventsRun run(sim.DevicePath());
  ASSERT_TRUE(run.Start());

  // Identified, polled once (the rated information follows the first pass
  // of values), and metered.
  ASSERT_NE("", run.WaitForScript("status|1|120|Rated Information"))
      << run.Stderr();

  // On battery the simulator answers "QQ" with load 035, temperature 260
  // and output 005, and "&R" with the capacity 080 at the 11th character:
  // tag 172, tag 201 / 10, tag 88 / 10, the battery figure, and the
  // default wait.
  sim.SetState(zep::SimState::kMainsFailure);
  EXPECT_EQ("event|1|2|3368", run.WaitForScript("event|1|2|3368"));
  EXPECT_EQ("powerfail|35|0.5|26.0|80|300", run.WaitForScript("powerfail"))
      << run.Stderr();

  // Battery low: the capacity falls to 010; the emergency wait is 30.
  sim.SetState(zep::SimState::kBatteryLow);
  EXPECT_EQ("event|1|2|2177", run.WaitForScript("event|1|2|2177"));
  EXPECT_EQ("emergency|35|0.5|26.0|10|30", run.WaitForScript("emergency"));

  sim.SetState(zep::SimState::kNormal);
  EXPECT_EQ("event|0|2|3368", run.WaitForScript("event|0|2|3368"));
  EXPECT_EQ("powerrecovery", run.WaitForScript("powerrecovery"));

  // Mains fails again, and the computer is told to shut down.
  sim.SetState(zep::SimState::kMainsFailure);
  ASSERT_NE("", run.WaitForScript("powerfail", 2));
  EXPECT_EQ(0, run.CountScripts("exec"));
  run.Signal(SIGQUIT);
  EXPECT_EQ("status|1|103|Start to Shutdown",
            run.WaitForScript("status|1|103"));
  EXPECT_EQ("exec", run.WaitForScript("exec"));
  EXPECT_TRUE(WaitForControl(sim, "S02R00001\r"))
      << "last control: " << sim.Counters().last_control_text;

  // Ctrl+Break leaves the service running; Ctrl+C ends it.
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_NE("", run.WaitForScript("status|1|101|Stop Service"));
  // The meter thread echoed the values on the console.
  EXPECT_NE(std::string::npos, run.Stdout().find("[ 88:25.0] "));
  sim.Stop();
}

TEST(EventsEndToEnd, ShutdownWithMainsPresentLeavesTheUpsAlone) {
  zep::SimOptions options;
  options.baud = 19200;
  zep::Simulator sim(options);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EventsRun run(sim.DevicePath());
  ASSERT_TRUE(run.Start());
  ASSERT_NE("", run.WaitForScript("status|1|120|Rated Information"))
      << run.Stderr();

  run.Signal(SIGQUIT);
  // The hook's report shows the request arrived; nothing else follows.
  for (int waited = 0; waited < kWaitMs; waited += 20) {
    if (run.Stderr().find("dwWait:3000") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(0, run.CountScripts("exec"));
  EXPECT_EQ(0, run.CountScripts("status|1|103"));
  EXPECT_EQ("", sim.Counters().last_control_text);
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  sim.Stop();
}

}  // namespace
