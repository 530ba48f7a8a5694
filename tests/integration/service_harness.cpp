#include "service_harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace zep {
namespace {

namespace fs = std::filesystem;

sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "KEY=" of an environment entry.
std::string EntryKey(const std::string& entry) {
  return entry.substr(0, entry.find('=') + 1);
}

// The test's environment for the service: `added` first, then every entry
// of the test's own that `added` does not replace, leaving out the settings
// and the notify socket.
Strings ServiceEnvironment(const Strings& added) {
  Strings env = added;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string key = EntryKey(text);
    bool replaced = false;
    for (const std::string& own : added) {
      if (StartsWith(own, key)) replaced = true;
    }
    if (!replaced && !StartsWith(key, "ZEP_") && key != "NOTIFY_SOCKET=") {
      env.push_back(text);
    }
  }
  return env;
}

std::vector<char*> Pointers(Strings& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  return pointers;
}

int ExitCode(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

SimOptions OptionsFor(SimProtocol protocol, int baud,
                      const std::string& link_path) {
  SimOptions options;
  options.protocol = protocol;
  options.baud = baud;
  options.link_path = link_path;
  return options;
}

}  // namespace

std::string ReadFileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Strings SplitLines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void PauseMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool LoopbackPortTaken(int port) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(port);
  bool taken =
      bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
      errno == EADDRINUSE;
  close(fd);
  return taken;
}

ForeignSocket::ForeignSocket(int port) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = LoopbackAddress(port);
  bound_ =
      bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

ForeignSocket::~ForeignSocket() { close(fd_); }

void ForeignSocket::SendTo(int port, const std::string& bytes) {
  sockaddr_in address = LoopbackAddress(port);
  sendto(fd_, bytes.data(), bytes.size(), 0,
         reinterpret_cast<sockaddr*>(&address), sizeof address);
}

NotifyListener::NotifyListener(const fs::path& path) : path_(path) {
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  bound_ =
      bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

NotifyListener::~NotifyListener() {
  close(fd_);
  unlink(path_.c_str());
}

Strings NotifyListener::ReadUntil(const std::string& text, int timeout_ms) {
  Strings got;
  WaitUntil(
      [&] {
        char buffer[512];
        for (;;) {
          ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
          if (n <= 0) return false;
          got.emplace_back(buffer, static_cast<size_t>(n));
          if (got.back().find(text) != std::string::npos) return true;
        }
      },
      timeout_ms, kBlackBoxPollMs);
  return got;
}

ServiceRun::ServiceRun(const Installation& installation)
    : wait_ms_(installation.wait_ms) {
  std::random_device random;
  dir_ = fs::temp_directory_path() /
         ("zeps-" + installation.tag + "-" + std::to_string(random()));
  fs::create_directories(dir_);
  fs::copy_file(fs::path(ZEP_BIN_DIR) / "zeps", dir_ / "zeps");
  fs::copy_file(fs::path(ZEP_BIN_DIR) / "libserlink32.so",
                dir_ / "libserlink32.so");
  for (const std::string& name : installation.recording_scripts) {
    std::ofstream script(dir_ / (name + ".sh"));
    // One write per line, so that scripts running at once do not mix.
    script << "line=" << name << "\n"
           << "for a in \"$@\"; do line=\"$line|$a\"; done\n"
           << "echo \"$line\" >> \"$(dirname \"$0\")/scripts.log\"\n";
  }
  for (const auto& script : installation.scripts) {
    std::ofstream(dir_ / (script.first + ".sh")) << script.second;
  }
  if (!installation.settings.empty()) {
    std::ofstream conf(dir_ / "ZEP.conf");
    conf << "[CONFIG]\n";
    for (const std::string& setting : installation.settings) {
      conf << setting << "\n";
    }
  }
}

ServiceRun::~ServiceRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::error_code error;
  fs::remove_all(dir_, error);
}

bool ServiceRun::Start(const Strings& args, const Strings& env) {
  Strings argv_text = {(dir_ / "zeps").string()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv = Pointers(argv_text);
  Strings env_text = ServiceEnvironment(env);
  std::vector<char*> envp = Pointers(env_text);

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
  exit_code_ = -1;
  int rc =
      posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) pid_ = -1;
  return rc == 0;
}

::testing::AssertionResult ServiceRun::StartAndWaitForScript(
    const Strings& args, const std::string& prefix) {
  if (!Start(args)) return ::testing::AssertionFailure() << "zeps not started";
  if (WaitForScript(prefix).empty()) {
    return ::testing::AssertionFailure()
           << "no script line \"" << prefix << "\"; trace:\n"
           << Stderr();
  }
  return ::testing::AssertionSuccess();
}

void ServiceRun::Signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

bool ServiceRun::Running() {
  if (pid_ <= 0) return false;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == 0) return true;
  // Ended (or, should that ever be, no child of ours): keep its code for
  // WaitExit, and never signal the number again.
  pid_ = -1;
  exit_code_ = done > 0 ? ExitCode(status) : -1;
  return false;
}

int ServiceRun::WaitExit(int timeout_ms) {
  WaitUntil([this] { return !Running(); },
            timeout_ms < 0 ? wait_ms_ : timeout_ms, kBlackBoxPollMs);
  return pid_ > 0 ? -1 : exit_code_;
}

int ServiceRun::Stop() {
  Signal(SIGINT);
  return WaitExit();
}

std::string ServiceRun::ReadFile(const std::string& name) const {
  return ReadFileText(dir_ / name);
}

bool ServiceRun::WaitForText(const std::string& name, const std::string& text) {
  return WaitUntil(
      [&] { return ReadFile(name).find(text) != std::string::npos; }, wait_ms_,
      kBlackBoxPollMs);
}

Strings ServiceRun::Scripts() const {
  return SplitLines(ReadFile("scripts.log"));
}

Strings ServiceRun::ScriptsWith(const std::string& prefix) const {
  Strings found;
  for (const std::string& line : Scripts()) {
    if (StartsWith(line, prefix)) found.push_back(line);
  }
  return found;
}

int ServiceRun::CountScripts(const std::string& prefix) const {
  return static_cast<int>(ScriptsWith(prefix).size());
}

std::string ServiceRun::WaitForScript(const std::string& prefix, int nth) {
  std::string line;
  WaitUntil(
      [&] {
        Strings found = ScriptsWith(prefix);
        if (static_cast<int>(found.size()) < nth) return false;
        line = found[static_cast<size_t>(nth - 1)];
        return true;
      },
      wait_ms_, kBlackBoxPollMs);
  return line;
}

SimulatorRun::SimulatorRun(SimProtocol protocol, int baud,
                           const std::string& link_path)
    : sim(OptionsFor(protocol, baud, link_path)) {
  started = sim.Start(&error);
}

}  // namespace zep
