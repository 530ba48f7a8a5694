// The service host on POSIX. Console mode: SIGINT and SIGTERM act as Ctrl+C,
// SIGQUIT as Ctrl+Break and SIGHUP (the terminal went away) as closing the
// console window. Service mode: a systemd unit of Type=notify; the status
// reports become notify messages and SIGTERM the stop control (the shutdown
// control while the whole system is stopping).
//
// Handlers only signal: the signals are blocked in every thread and one
// watcher thread takes them with sigtimedwait and calls the same handlers
// that the Windows system calls on a thread of its own.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "host/host_platform.h"
#include "host/service_host.h"
#include "host/systemd_texts.h"
#include "process.h"
#include "trace.h"

namespace zep {
namespace {

constexpr char kUnitDirectory[] = "/etc/systemd/system/";
constexpr char kSystemctl[] = "systemctl";
// How long a systemctl call may take before it is given up.
constexpr int kCommandTimeoutMs = 10000;

void HostSignals(sigset_t* set) {
  sigemptyset(set);
  for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGHUP}) sigaddset(set, sig);
}

// Takes the host's signals on one thread and hands each to `deliver`.
class SignalWatcher {
 public:
  using Deliver = void (*)(int signal);

  // Blocks the signals in the calling thread (and so in every thread it
  // creates from now on) before the watcher starts.
  void Start(Deliver deliver) {
    if (thread_.joinable()) return;
    sigset_t set;
    HostSignals(&set);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    quit_.store(false);
    thread_ = std::thread([this, deliver] { Run(deliver); });
  }

  // The signals stay blocked: one arriving while the process ends stays
  // pending instead of killing it half-way.
  void Stop() {
    if (!thread_.joinable()) return;
    quit_.store(true);
    // The watcher sleeps until a signal comes, so it is woken by one of its
    // own signals sent to its thread alone from this process, which it
    // takes as the call to end rather than as a control.
    pthread_kill(thread_.native_handle(), kWakeSignal);
    thread_.join();
  }

 private:
  void Run(Deliver deliver) {
    sigset_t set;
    HostSignals(&set);
    const pid_t self = getpid();
    while (!quit_.load()) {
      siginfo_t info;
      const int sig = sigwaitinfo(&set, &info);
      if (sig <= 0) continue;  // Interrupted: wait again.
      if (sig == kWakeSignal && info.si_code == SI_TKILL &&
          info.si_pid == self && quit_.load()) {
        return;
      }
      deliver(sig);
    }
  }

  // One of the watched signals; Stop sends it with pthread_kill.
  static constexpr int kWakeSignal = SIGHUP;

  std::thread thread_;
  std::atomic<bool> quit_{false};
};

SignalWatcher& Watcher() {
  static SignalWatcher watcher;
  return watcher;
}

void DeliverConsoleSignal(int sig) {
  switch (sig) {
    case SIGINT:
    case SIGTERM:
      ConsoleControlHandler(kConsoleCtrlC);
      break;
    case SIGQUIT:
      ConsoleControlHandler(kConsoleBreak);
      break;
    case SIGHUP:
      ConsoleControlHandler(kConsoleClose);
      break;
    default:
      break;
  }
}

// Runs a program found on PATH with the given arguments, its output
// optionally captured, and waits for it (at most kCommandTimeoutMs).
// Returns its exit status, or -1 when it could not run or was killed.
int RunCommand(std::initializer_list<const char*> args, std::string* output) {
  std::vector<char*> argv;
  std::vector<std::string> texts(args.begin(), args.end());
  for (std::string& text : texts) argv.push_back(&text[0]);
  argv.push_back(nullptr);

  int pipe_ends[2] = {-1, -1};
  if (output != nullptr && pipe2(pipe_ends, O_CLOEXEC) != 0) return -1;

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  HostSignals(&defaults);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  if (output != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  }
  // A copy taken under the settings lock: the configuration thread may be
  // rewriting the environment at this moment.
  std::vector<std::string> env_text = EnvironmentSnapshot();
  std::vector<char*> envp;
  for (std::string& text : env_text) envp.push_back(&text[0]);
  envp.push_back(nullptr);
  pid_t pid = 0;
  int rc =
      posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (output != nullptr) close(pipe_ends[1]);
  if (rc != 0) {
    if (output != nullptr) close(pipe_ends[0]);
    return -1;
  }

  bool killed = false;
  if (output != nullptr) {
    int64_t deadline = MonotonicMilliseconds() + kCommandTimeoutMs;
    char buffer[256];
    for (;;) {
      int64_t left = deadline - MonotonicMilliseconds();
      if (left <= 0) {
        kill(pid, SIGKILL);
        killed = true;
        break;
      }
      pollfd readable = {pipe_ends[0], POLLIN, 0};
      int ready = poll(&readable, 1, static_cast<int>(left));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) continue;
      ssize_t n = read(pipe_ends[0], buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      output->append(buffer, static_cast<size_t>(n));
    }
    close(pipe_ends[0]);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (killed || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// SIGTERM is how systemd stops a unit both on "systemctl stop" and when the
// computer shuts down; only in the second case is the UPS to be told. The
// manager says "stopping" once shutdown.target is active or queued, but only
// after the boot has finished; a shutdown asked for while the boot still
// runs (a unit that never comes up, a power cut soon after power-on) shows
// only as a start job of shutdown.target in the job queue.
bool SystemIsStopping() {
  std::string state;
  RunCommand({kSystemctl, "is-system-running"}, &state);
  if (state.compare(0, 8, "stopping") == 0) return true;
  std::string jobs;
  RunCommand(
      {kSystemctl, "list-jobs", "--no-legend", "--no-pager", "shutdown.target"},
      &jobs);
  return ShutdownJobQueued(jobs);
}

void DeliverServiceSignal(int sig) {
  if (sig == SIGTERM || sig == SIGINT) {
    ServiceControlHandler(SystemIsStopping() ? kControlShutdown : kControlStop);
  }
}

// The notify socket of systemd, written to by hand: one datagram per report.
class NotifySink : public StatusSink {
 public:
  ~NotifySink() override {
    if (fd_ >= 0) close(fd_);
  }

  bool Open(const std::string& path) {
    if (path.empty() || path.size() >= sizeof address_.sun_path) return false;
    if (path[0] != '/' && path[0] != '@') return false;
    std::memset(&address_, 0, sizeof address_);
    address_.sun_family = AF_UNIX;
    std::memcpy(address_.sun_path, path.data(), path.size());
    // "@name" is a name in the abstract namespace.
    if (path[0] == '@') address_.sun_path[0] = '\0';
    length_ =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return fd_ >= 0;
  }

  bool Send(const ServiceStatusValues& values, uint32_t* error) override {
    std::string message = NotifyMessage(values);
    // Never blocks: a manager that does not read must not hold up a stop.
    ssize_t sent =
        sendto(fd_, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
               reinterpret_cast<const sockaddr*>(&address_), length_);
    if (sent < 0) {
      if (error != nullptr) *error = static_cast<uint32_t>(errno);
      return false;
    }
    return true;
  }

 private:
  int fd_ = -1;
  sockaddr_un address_;
  socklen_t length_ = 0;
};

bool SystemdAvailable() {
  // The check systemd itself documents for "booted with systemd".
  return geteuid() == 0 && access("/run/systemd/system", F_OK) == 0;
}

std::string UnitName(const char* name) {
  return std::string(name) + ".service";
}

std::string UnitPath(const char* name) {
  return kUnitDirectory + UnitName(name);
}

bool WriteNewFile(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  bool ok = done == text.size();
  if (close(fd) != 0) ok = false;
  if (!ok) unlink(path.c_str());
  return ok;
}

bool ValidName(const char* name) {
  return name != nullptr && name[0] != '\0' &&
         std::strchr(name, '/') == nullptr;
}

}  // namespace

int InstallService(const char* name, const char* display_name,
                   const char* extra_argument) {
  if (!ValidName(name) || !SystemdAvailable()) return 0;
  const std::string unit_path = UnitPath(name);
  // An installed service counts as installed and is left as it is.
  if (access(unit_path.c_str(), F_OK) == 0) return 1;
  std::string executable = ExecutablePath();
  std::string directory = ExecutableDirectory();
  if (executable.empty() || directory.empty()) return 0;
  if (directory.size() > 1) directory.pop_back();
  std::string text = SystemdUnitText(
      display_name != nullptr ? display_name : name, executable,
      extra_argument != nullptr ? extra_argument : "", directory);
  if (!WriteNewFile(unit_path, text)) return 0;
  RunCommand({kSystemctl, "daemon-reload"}, nullptr);
  return RunCommand({kSystemctl, "enable", UnitName(name).c_str()}, nullptr) ==
         0;
}

int RemoveService(const char* name) {
  if (!ValidName(name) || !SystemdAvailable()) return 0;
  const std::string unit_path = UnitPath(name);
  if (access(unit_path.c_str(), F_OK) != 0) return 0;
  const std::string unit = UnitName(name);
  // A running service is asked to stop; the removal does not wait for it.
  if (RunCommand({kSystemctl, "is-active", "--quiet", unit.c_str()}, nullptr) ==
      0) {
    RunCommand({kSystemctl, "stop", "--no-block", unit.c_str()}, nullptr);
  }
  RunCommand({kSystemctl, "disable", unit.c_str()}, nullptr);
  if (unlink(unit_path.c_str()) != 0) return 0;
  RunCommand({kSystemctl, "daemon-reload"}, nullptr);
  return 1;
}

int RunServiceDispatcher(HostState& host) {
  // Without the notify socket the program was not started by systemd: it
  // fails as the Windows dispatcher does when started by hand.
  std::string socket_path;
  if (!GetEnvironmentValue("NOTIFY_SOCKET", &socket_path)) return 0;
  static NotifySink sink;
  if (!sink.Open(socket_path)) return 0;
  // The batch files must not speak for the service.
  PutEnvironmentText("NOTIFY_SOCKET=");

  Watcher().Start(&DeliverServiceSignal);
  host.status.Clear();
  host.status_sink.store(&sink);
  RunServiceWorker(host);
  host.status_sink.store(nullptr);
  Watcher().Stop();
  return 1;
}

bool InstallConsoleControl(HostState&) {
  Watcher().Start(&DeliverConsoleSignal);
  return true;
}

void RemoveConsoleControl() { Watcher().Stop(); }

uint32_t LastSystemError() { return static_cast<uint32_t>(errno); }

}  // namespace zep
