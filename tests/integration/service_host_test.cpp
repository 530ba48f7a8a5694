// The built zeps as a black box: started from a copy in a temporary
// directory beside libserlink32.so and a status.sh that records every status
// record, on the service's fixed ports (these tests never run in parallel
// with others that use them), stopped by PID with signals.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kWaitMs = 30000;  // Generous: only a failing test waits it out.
constexpr char kUsage[] =
    "zeps -setup  to setup the event message\n"
    "zeps -remove to remove the event message\n";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Whether 127.0.0.1:port is taken (a bind of our own fails).
bool PortTaken(int port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool taken =
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno == EADDRINUSE;
  close(fd);
  return taken;
}

// A plain socket of this test program, bound to a port of its own: to the
// service it is any other local program.
class ForeignSocket {
 public:
  explicit ForeignSocket(int port = 0) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound_ =
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~ForeignSocket() { close(fd_); }
  bool bound() const { return bound_; }
  void SendTo(int port, const std::string& bytes) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, bytes.data(), bytes.size(), 0,
           reinterpret_cast<sockaddr*>(&address), sizeof address);
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
};

// zeps started from a scratch copy. Killed at the end if still running.
class ServiceRun {
 public:
  ServiceRun() {
    std::random_device random;
    dir_ =
        fs::temp_directory_path() / ("zeps-host-" + std::to_string(random()));
    fs::create_directories(dir_);
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "zeps", dir_ / "zeps");
    fs::copy_file(fs::path(ZEP_BIN_DIR) / "libserlink32.so",
                  dir_ / "libserlink32.so");
    std::ofstream script(dir_ / "status.sh");
    script << "#!/bin/sh\n"
              "{ printf '%s' \"$#\"; for a in \"$@\"; do printf '|%s' \"$a\"; "
              "done;"
              " echo \"|notify=${NOTIFY_SOCKET:-none}\"; }"
              " >> \"$(dirname \"$0\")/status.log\"\n";
  }

  ~ServiceRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code error;
    fs::remove_all(dir_, error);
  }

  const fs::path& dir() const { return dir_; }

  bool Start(std::vector<std::string> args,
             std::vector<std::string> extra_env = {}) {
    std::vector<std::string> argv_text = {(dir_ / "zeps").string()};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text) argv.push_back(&text[0]);
    argv.push_back(nullptr);
    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "NOTIFY_SOCKET=", 14) != 0)
        env_text.push_back(*entry);
    }
    env_text.insert(env_text.end(), extra_env.begin(), extra_env.end());
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
    // Started from somewhere else: the service changes to its own directory.
    int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(),
                         envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  // The exit code once the process has ended, or -1 after the wait.
  int WaitExit(int timeout_ms = kWaitMs) {
    for (int waited = 0; waited <= timeout_ms; waited += 20) {
      int status = 0;
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      Pause(20);
    }
    return -1;
  }

  bool Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  void Signal(int sig) { kill(pid_, sig); }

  std::string StatusLog() { return ReadAll(dir_ / "status.log"); }
  std::string Stdout() { return ReadAll(dir_ / "stdout.txt"); }
  std::string Stderr() { return ReadAll(dir_ / "stderr.txt"); }

  // Waits until the status log holds `text`.
  bool WaitForStatus(const std::string& text) {
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      if (StatusLog().find(text) != std::string::npos) return true;
      Pause(20);
    }
    return false;
  }

  bool WaitForTrace(const std::string& text) {
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      if (Stderr().find(text) != std::string::npos) return true;
      Pause(20);
    }
    return false;
  }

 private:
  fs::path dir_;
  pid_t pid_ = -1;
};

constexpr char kStarted[] =
    "4|1|100|Start Service|ZEPVersion Information|notify=none\n";
constexpr char kStopped[] = "3|1|101|Stop Service|notify=none\n";

TEST(ServiceHostBlackBox, DebugRunsSixWorkersAndStopsInOrderOnCtrlC) {
  ServiceRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service")) << run.Stderr();
  for (int port = 60059; port >= 60054; --port)
    EXPECT_TRUE(PortTaken(port)) << port;
  EXPECT_FALSE(PortTaken(60053));
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLog());
  EXPECT_EQ("", run.Stdout());
  for (int port = 60059; port >= 60054; --port)
    EXPECT_FALSE(PortTaken(port)) << port;
  // The last report is "stopped".
  std::string trace = run.Stderr();
  EXPECT_NE(std::string::npos,
            trace.rfind("ServiceStatusUpdate - dwState:00000001 "
                        "dwExitCode:00000000 dwWait:0\r\n"));
}

TEST(ServiceHostBlackBox, HeldPortMovesTheLaterWorkersOneDown) {
  ForeignSocket holder(60058);
  ASSERT_TRUE(holder.bound());
  ServiceRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  for (int port : {60059, 60057, 60056, 60055, 60054, 60053}) {
    EXPECT_TRUE(PortTaken(port)) << port;
  }
  EXPECT_FALSE(PortTaken(60052));
  // SIGTERM stops it as Ctrl+C does.
  run.Signal(SIGTERM);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLog());
}

TEST(ServiceHostBlackBox, CtrlBreakRunsTheShutdownHookAndKeepsRunning) {
  ServiceRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  run.Signal(SIGQUIT);
  ASSERT_TRUE(
      run.WaitForTrace("dwState:00000003 dwExitCode:00000000 dwWait:3000\r\n"));
  // No UPS was identified, so the shutdown sequence runs and says so.
  ASSERT_TRUE(run.WaitForStatus("Start to Shutdown"));
  EXPECT_TRUE(run.Running());
  run.Signal(SIGINT);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + "3|1|103|Start to Shutdown|notify=none\n" +
                kStopped,
            run.StatusLog());
}

TEST(ServiceHostBlackBox, DatagramsFromOtherProgramsDoNotStopIt) {
  ServiceRun run;
  ASSERT_TRUE(run.Start({"-debug"}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  ForeignSocket sender;
  for (int port = 60059; port >= 60054; --port) {
    sender.SendTo(port, std::string("\x85\x01\xff", 3));
    sender.SendTo(port, std::string(4000, '\x8f'));  // longer than any buffer
    sender.SendTo(port, "");  // empty, not the stop signal
  }
  Pause(500);
  EXPECT_TRUE(run.Running());
  for (int port = 60059; port >= 60054; --port)
    EXPECT_TRUE(PortTaken(port)) << port;
  EXPECT_EQ(kStarted, run.StatusLog());
  // A hang-up from outside (the terminal went away) ends it in order like
  // Ctrl+C, although the host also sends that signal to its own watcher
  // thread to end the watcher.
  run.Signal(SIGHUP);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLog());
}

TEST(ServiceHostBlackBox, WithoutARunModeItPrintsTheUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"debug"}, {"-unknown"}}) {
    ServiceRun run;
    ASSERT_TRUE(run.Start(args));
    EXPECT_EQ(1, run.WaitExit());
    EXPECT_EQ(kUsage, run.Stdout());
    EXPECT_EQ("", run.StatusLog());
  }
}

TEST(ServiceHostBlackBox, ServiceOptionByHandFailsLikeTheDispatcher) {
  ServiceRun run;
  ASSERT_TRUE(run.Start({"-service"}));
  EXPECT_EQ(1, run.WaitExit());
  EXPECT_EQ(kUsage, run.Stdout());
  EXPECT_EQ("", run.StatusLog());
}

TEST(ServiceHostBlackBox, SetupAndRemoveFailWithoutSystemd) {
  if (access("/run/systemd/system", F_OK) == 0 && geteuid() == 0) {
    GTEST_SKIP() << "this machine runs systemd as root: not touching its units";
  }
  for (const char* option : {"-setup", "-remove"}) {
    ServiceRun run;
    ASSERT_TRUE(run.Start({option}));
    EXPECT_EQ(1, run.WaitExit()) << option;
    EXPECT_EQ(kUsage, run.Stdout()) << option;
  }
}

// A notify socket such as systemd gives a Type=notify service.
class NotifyListener {
 public:
  explicit NotifyListener(const fs::path& path) : path_(path) {
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    bound_ =
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~NotifyListener() {
    close(fd_);
    unlink(path_.c_str());
  }
  bool bound() const { return bound_; }

  // Messages received until one contains `text` (or the wait ends).
  std::vector<std::string> ReadUntil(const std::string& text) {
    std::vector<std::string> got;
    for (int waited = 0; waited < kWaitMs; waited += 20) {
      char buffer[512];
      ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        got.emplace_back(buffer, static_cast<size_t>(n));
        if (got.back().find(text) != std::string::npos) break;
        continue;
      }
      Pause(20);
    }
    return got;
  }

 private:
  fs::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

TEST(ServiceHostBlackBox, ServiceModeSpeaksTheNotifyProtocol) {
  ServiceRun run;
  NotifyListener listener(run.dir() / "notify.sock");
  ASSERT_TRUE(listener.bound());
  ASSERT_TRUE(run.Start(
      {"-service"}, {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string()}));
  std::vector<std::string> start = listener.ReadUntil("READY=1");
  ASSERT_FALSE(start.empty());
  EXPECT_EQ("READY=1\nSTATUS=Running", start.back());
  EXPECT_EQ("EXTEND_TIMEOUT_USEC=1000000\nSTATUS=Start pending", start.front());
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  // systemd stops a unit with SIGTERM.
  run.Signal(SIGTERM);
  std::vector<std::string> stop = listener.ReadUntil("STATUS=Stopped");
  ASSERT_FALSE(stop.empty());
  EXPECT_EQ("STOPPING=1\nEXTEND_TIMEOUT_USEC=1000000\nSTATUS=Stop pending",
            stop.front());
  EXPECT_EQ("STATUS=Stopped", stop.back());
  EXPECT_EQ(0, run.WaitExit());
  // The scripts do not inherit the notify socket.
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLog());
  EXPECT_EQ("", run.Stdout());
}

TEST(ServiceHostBlackBox, ManagerThatDoesNotReadCannotHoldUpTheStop) {
  ServiceRun run;
  // Bound but never read: the socket's queue fills after a few reports.
  NotifyListener listener(run.dir() / "notify.sock");
  ASSERT_TRUE(listener.bound());
  ASSERT_TRUE(run.Start(
      {"-service"}, {"NOTIFY_SOCKET=" + (run.dir() / "notify.sock").string()}));
  ASSERT_TRUE(run.WaitForStatus("Start Service"));
  run.Signal(SIGTERM);
  EXPECT_EQ(0, run.WaitExit());
  EXPECT_EQ(std::string(kStarted) + kStopped, run.StatusLog());
}

}  // namespace
