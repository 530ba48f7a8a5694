// The built programs as black boxes: a scratch installation of zeps copied
// from the bin directory beside libserlink32.so, with shell scripts standing
// for the batch files and an optional ZEP.conf; the service started from it
// with an environment of the test's choosing and stopped by PID with
// signals; waits on the files it writes; the notify socket of a service
// manager; and the simulator on its pseudo-terminal. Everything here is on
// the service's fixed ports, so these tests never run in parallel with
// others that use them.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "simulator.h"
#include "wait_until.h"

namespace zep {

using Strings = std::vector<std::string>;

/// Generous: only a failing test waits it out.
constexpr int kBlackBoxWaitMs = 60000;
/// How often the waits look again.
constexpr int kBlackBoxPollMs = 20;

/// The whole content of a file ("" when it cannot be read).
std::string ReadFileText(const std::filesystem::path& path);

/// The lines of a text, without their line ends.
Strings SplitLines(const std::string& text);

void PauseMs(int ms);

/// Whether 127.0.0.1:`port` is taken (a bind of our own fails).
bool LoopbackPortTaken(int port);

/// A plain UDP socket of the test program on a loopback port of its own
/// (0: any); to the service it is any other local program.
class ForeignSocket {
 public:
  explicit ForeignSocket(int port = 0);
  ~ForeignSocket();
  ForeignSocket(const ForeignSocket&) = delete;
  ForeignSocket& operator=(const ForeignSocket&) = delete;

  bool bound() const { return bound_; }
  void SendTo(int port, const std::string& bytes);

 private:
  int fd_ = -1;
  bool bound_ = false;
};

/// A datagram socket at `path` such as a service manager gives a
/// Type=notify service in NOTIFY_SOCKET; removed at the end.
class NotifyListener {
 public:
  explicit NotifyListener(const std::filesystem::path& path);
  ~NotifyListener();
  NotifyListener(const NotifyListener&) = delete;
  NotifyListener& operator=(const NotifyListener&) = delete;

  bool bound() const { return bound_; }

  /// The messages received until one contains `text`, or all that came
  /// within `timeout_ms`.
  Strings ReadUntil(const std::string& text, int timeout_ms = kBlackBoxWaitMs);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool bound_ = false;
};

/// What a scratch installation holds besides the two programs.
struct Installation {
  /// Names the scratch directory ("zeps-<tag>-<random>").
  std::string tag;
  /// Scripts that append one line "name|arg|arg..." to scripts.log when the
  /// service starts them: names without ".sh".
  Strings recording_scripts;
  /// Scripts with a body of the test's own, by name without ".sh".
  std::map<std::string, std::string> scripts;
  /// The lines of the [CONFIG] section of ZEP.conf; none: no ZEP.conf.
  Strings settings;
  /// How long each wait of the run lasts before it fails.
  int wait_ms = kBlackBoxWaitMs;
};

/// zeps started from a scratch installation. Killed at the end if still
/// running; the directory is removed.
class ServiceRun {
 public:
  explicit ServiceRun(const Installation& installation);
  ~ServiceRun();
  ServiceRun(const ServiceRun&) = delete;
  ServiceRun& operator=(const ServiceRun&) = delete;

  const std::filesystem::path& dir() const { return dir_; }

  /// Starts zeps with `args`, from elsewhere (the service changes to its own
  /// directory), with standard input from /dev/null and standard output and
  /// error into stdout.txt and stderr.txt. The environment is the test's own
  /// without the ZEP_ settings (they come from ZEP.conf alone) and without
  /// NOTIFY_SOCKET, plus `env`, whose entries replace those of the same name.
  bool Start(const Strings& args, const Strings& env = {});
  /// Start, then WaitForScript(`prefix`); a failure tells which of the two
  /// failed, with the service's trace.
  ::testing::AssertionResult StartAndWaitForScript(const Strings& args,
                                                   const std::string& prefix);

  void Signal(int sig);
  /// Whether the process has not ended yet.
  bool Running();
  /// The exit code (128 + the signal for a killed process) once the process
  /// has ended, or -1 after `timeout_ms` (-1: the run's wait).
  int WaitExit(int timeout_ms = -1);
  /// Ctrl+C, then WaitExit.
  int Stop();

  /// A file of the installation directory.
  std::string ReadFile(const std::string& name) const;
  std::string Stdout() const { return ReadFile("stdout.txt"); }
  std::string Stderr() const { return ReadFile("stderr.txt"); }
  /// Waits until file `name` contains `text`.
  bool WaitForText(const std::string& name, const std::string& text);
  bool WaitForTrace(const std::string& text) {
    return WaitForText("stderr.txt", text);
  }

  /// The lines the recording scripts wrote, in order.
  Strings Scripts() const;
  /// Those that start with `prefix`.
  Strings ScriptsWith(const std::string& prefix) const;
  int CountScripts(const std::string& prefix) const;
  /// Waits until a script line starts with `prefix` for the `nth` time
  /// (counting from 1) and returns that line, or "" after the wait.
  std::string WaitForScript(const std::string& prefix, int nth = 1);

 private:
  std::filesystem::path dir_;
  int wait_ms_;
  pid_t pid_ = -1;
  int exit_code_ = -1;
};

/// The simulator serving one UPS on a pseudo-terminal, with `link_path` (when
/// given) a symbolic link to it; stopped at the end.
struct SimulatorRun {
  SimulatorRun(SimProtocol protocol, int baud,
               const std::string& link_path = std::string());
  Simulator sim;
  bool started = false;
  std::string error;
};

}  // namespace zep
