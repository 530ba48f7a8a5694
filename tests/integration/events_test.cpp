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
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

  const fs::path& dir() const { return dir_; }

  // Starts zeps with `option`; `env` adds to (or replaces) the test's own
  // environment, whose settings are left out: they come from ZEP.conf.
  bool Start(std::string option = "-debug",
             const std::vector<std::string>& env = {}) {
    std::string program = (dir_ / "zeps").string();
    char* argv[] = {&program[0], &option[0], nullptr};
    std::vector<std::string> env_text = env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::string key = text.substr(0, text.find('=') + 1);
      bool replaced = false;
      for (const std::string& added : env) {
        if (added.compare(0, key.size(), key) == 0) replaced = true;
      }
      if (!replaced && key.compare(0, 4, "ZEP_") != 0 &&
          key != "NOTIFY_SOCKET=") {
        env_text.push_back(text);
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

// A stand-in for systemctl on the PATH of the service: it answers
// "is-system-running" with `state` and "list-jobs" with `jobs`.
void WriteSystemctl(const fs::path& dir, const std::string& state,
                    const std::string& jobs) {
  fs::create_directories(dir);
  {
    std::ofstream script(dir / "systemctl");
    script << "#!/bin/sh\n"
           << "case \"$1\" in\n"
           << "  is-system-running) echo '" << state << "' ;;\n"
           << "  list-jobs) printf '%s' '" << jobs << "' ;;\n"
           << "esac\n";
  }
  fs::permissions(dir / "systemctl", fs::perms::owner_all,
                  fs::perm_options::add);
}

// A notify socket for the service mode, as systemd gives a Type=notify unit.
class NotifySocket {
 public:
  explicit NotifySocket(const fs::path& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bound_ =
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~NotifySocket() {
    close(fd_);
    unlink(path_.c_str());
  }
  bool bound() const { return bound_; }

 private:
  fs::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

// Under systemd, SIGTERM is a plain stop unless the computer is shutting
// down; only then does the UPS shutdown run (with no UPS found yet, all of
// it), before the stop.
TEST(EventsEndToEnd, SigtermUnderSystemdRunsTheUpsShutdownOnlyAtShutdown) {
  struct Case {
    const char* state;
    const char* jobs;
    bool shutdown;
  };
  const Case cases[] = {
      {"running", "", false},
      {"stopping", "", true},
      // A shutdown before the boot has finished.
      {"starting", "  9 shutdown.target start waiting\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    EventsRun run("/nonexistent/zep-tty");  // no UPS will be found
    WriteSystemctl(run.dir() / "fakebin", c.state, c.jobs);
    NotifySocket notify(run.dir() / "notify.sock");
    ASSERT_TRUE(notify.bound());
    const char* path = std::getenv("PATH");
    ASSERT_TRUE(run.Start(
        "-service", {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string(),
                     "PATH=" + (run.dir() / "fakebin").string() + ":" +
                         (path != nullptr ? path : "/usr/bin:/bin")}));
    ASSERT_NE("", run.WaitForScript("status|1|100|Start Service"));
    run.Signal(SIGTERM);
    EXPECT_EQ(0, run.WaitExit());
    std::vector<std::string> scripts = run.Scripts();
    ASSERT_FALSE(scripts.empty());
    EXPECT_EQ("status|1|101|Stop Service", scripts.back());
    if (c.shutdown) {
      // Both before the stop; started together, they may log either way.
      ASSERT_GE(scripts.size(), 3u);
      std::vector<std::string> last(scripts.end() - 3, scripts.end() - 1);
      std::sort(last.begin(), last.end());
      EXPECT_EQ(
          (std::vector<std::string>{"exec", "status|1|103|Start to Shutdown"}),
          last);
    } else {
      EXPECT_EQ(0, run.CountScripts("exec"));
      EXPECT_EQ(0, run.CountScripts("status|1|103"));
    }
  }
}

}  // namespace
