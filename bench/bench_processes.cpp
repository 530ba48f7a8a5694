#include "bench_processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "proc_figures.h"

extern char** environ;

namespace zep {
namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr int kSimulatorStartMs = 10000;
constexpr int kSimulatorStopMs = 10000;
constexpr int kServiceStopMs = 20000;
constexpr int kPollStepMs = 20;

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Spawns `argv` with standard input from /dev/null and standard output and
// error into the files given. Returns the process id, or -1.
pid_t Spawn(const std::vector<std::string>& args,
            const std::vector<std::string>& env, const std::string& out_path,
            const std::string& err_path, std::string* error) {
  std::vector<std::string> arg_copy = args;
  std::vector<char*> argv;
  for (std::string& arg : arg_copy) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  std::vector<std::string> env_copy = env;
  std::vector<char*> envp;
  for (std::string& entry : env_copy) envp.push_back(&entry[0]);
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc =
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    *error = "cannot start " + args[0] + ": " + std::strerror(rc);
    return -1;
  }
  return pid;
}

// Waits up to `limit_ms` for `pid` to end. Returns its wait status, or -1
// when it is still running.
int WaitForEnd(pid_t pid, int limit_ms) {
  for (int waited = 0;; waited += kPollStepMs) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0) return 0;  // Not our child any more.
    if (waited >= limit_ms) return -1;
    Pause(kPollStepMs);
  }
}

// Ends `pid` with `first_signal`, then SIGKILL after `limit_ms`. Returns
// the wait status, or -1 when SIGKILL was needed.
int EndProcess(pid_t pid, int first_signal, int limit_ms) {
  kill(pid, first_signal);
  int status = WaitForEnd(pid, limit_ms);
  if (status >= 0) return status;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool CopyInto(const fs::path& from, const fs::path& dir, std::string* error) {
  std::error_code code;
  fs::copy_file(from, dir / from.filename(),
                fs::copy_options::overwrite_existing, code);
  if (code) {
    *error = "cannot copy " + from.string() + ": " + code.message();
    return false;
  }
  return true;
}

}  // namespace

RunDirectory::~RunDirectory() {
  if (path_.empty() || keep_) return;
  std::error_code code;
  fs::remove_all(path_, code);
}

bool RunDirectory::Create(const std::string& label, std::string* error) {
  std::string pattern =
      (fs::temp_directory_path() / ("zep-bench-" + label + "-XXXXXX")).string();
  if (mkdtemp(&pattern[0]) == nullptr) {
    *error = "cannot create " + pattern + ": " + std::strerror(errno);
    return false;
  }
  path_ = pattern;
  return true;
}

std::string RunDirectory::File(const std::string& name) const {
  return (fs::path(path_) / name).string();
}

bool PrepareInstallation(const std::string& bin_dir, const RunDirectory& dir,
                         const std::string& device, int cycle_ms,
                         std::string* error) {
  const fs::path bin(bin_dir);
  const fs::path target(dir.path());
  for (const char* name : {"zeps", "libserlink32.so"}) {
    if (!CopyInto(bin / name, target, error)) return false;
  }
  std::error_code code;
  for (const fs::directory_entry& entry : fs::directory_iterator(bin, code)) {
    const std::string extension = entry.path().extension().string();
    if (extension != ".sh" && extension != ".msg") continue;
    if (!CopyInto(entry.path(), target, error)) return false;
  }
  std::ofstream conf(target / "ZEP.conf");
  conf << "[PRODUCT]\nZEP_VERSION=1.1.0.2\n[CONFIG]\nZEP_PORT=" << device
       << "\n";
  if (cycle_ms > 0) conf << "ZEP_MON_CYCLE=" << cycle_ms << "\n";
  conf.close();
  if (!conf) {
    *error = "cannot write ZEP.conf in " + dir.path();
    return false;
  }
  return true;
}

bool SimulatorProcess::Start(const std::string& program,
                             const std::string& protocol, int baud,
                             const std::string& log_path,
                             const std::string& stderr_path, std::string* error,
                             const std::string& state) {
  const std::string out_path = stderr_path + ".out";
  const std::vector<std::string> args = {
      program, "--protocol", protocol,  "--baud", std::to_string(baud),
      "--log", log_path,     "--state", state};
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    env.push_back(*entry);
  }
  pid_ = Spawn(args, env, out_path, stderr_path, error);
  if (pid_ < 0) return false;
  // It prints the terminal's path, then "ready".
  for (int waited = 0; waited < kSimulatorStartMs; waited += kPollStepMs) {
    const std::vector<std::string> lines = Lines(ReadTextFile(out_path));
    if (lines.size() >= 2 && lines[1] == "ready") {
      device_ = lines[0];
      return true;
    }
    if (WaitForEnd(pid_, 0) >= 0) {
      pid_ = -1;
      *error = "upssim ended at start: " + ReadTextFile(stderr_path);
      return false;
    }
    Pause(kPollStepMs);
  }
  *error = "upssim did not report ready within 10 s";
  Stop();
  return false;
}

void SimulatorProcess::Stop() {
  if (pid_ <= 0) return;
  EndProcess(pid_, SIGTERM, kSimulatorStopMs);
  pid_ = -1;
}

NotifyDrain::~NotifyDrain() {
  if (reader_.joinable()) {
    const char wake = 1;
    if (write(wake_[1], &wake, 1) < 0) {
      // The reader is then awake already.
    }
    reader_.join();
  }
  for (int fd : {fd_, wake_[0], wake_[1]}) {
    if (fd >= 0) close(fd);
  }
  if (!path_.empty()) unlink(path_.c_str());
}

bool NotifyDrain::Open(const std::string& path, std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "notify socket path too long: " + path;
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0 || pipe2(wake_, O_CLOEXEC) != 0 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error =
        "cannot bind the notify socket " + path + ": " + std::strerror(errno);
    return false;
  }
  path_ = path;
  reader_ = std::thread([this] {
    char buffer[4096];
    for (;;) {
      pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
      if (fds[1].revents != 0) return;
      if (fds[0].revents != 0 && recv(fd_, buffer, sizeof buffer, 0) < 0 &&
          errno != EINTR) {
        return;
      }
    }
  });
  return true;
}

bool ServiceProcess::Start(const RunDirectory& dir, std::string* error,
                           const NotifyDrain* notify) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    // The settings come from ZEP.conf alone, and no service manager is
    // told anything.
    if (std::strncmp(*entry, "ZEP_", 4) == 0 ||
        std::strncmp(*entry, "NOTIFY_SOCKET=", 14) == 0) {
      continue;
    }
    env.push_back(*entry);
  }
  env.push_back("ZEP_DRY_RUN=1");
  if (notify != nullptr) env.push_back("NOTIFY_SOCKET=" + notify->path());
  exit_status_ = -1;
  // systemd stops a unit with SIGTERM; in console mode Ctrl+C ends it.
  stop_signal_ = notify != nullptr ? SIGTERM : SIGINT;
  pid_ = Spawn({dir.File("zeps"), notify != nullptr ? "-service" : "-debug"},
               env, dir.File("stdout.txt"), dir.File("trace.txt"), error);
  return pid_ > 0;
}

bool ServiceProcess::Running() {
  if (pid_ <= 0) return false;
  const int status = WaitForEnd(pid_, 0);
  if (status < 0) return true;
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  pid_ = -1;
  return false;
}

int ServiceProcess::Stop() {
  if (pid_ <= 0) return exit_status_;
  const int status = EndProcess(pid_, stop_signal_, kServiceStopMs);
  pid_ = -1;
  exit_status_ = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exit_status_;
}

}  // namespace bench
}  // namespace zep
