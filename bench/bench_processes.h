// The processes a benchmark run drives: the UPS simulator (upssim) on its
// pseudo-terminal, and the service (zeps -debug) in a scratch installation
// whose ZEP.conf names the simulator's terminal. Each is started with
// posix_spawn and stopped by its own process id.
#pragma once

#include <sys/types.h>

#include <string>
#include <thread>

namespace zep {
namespace bench {

/// The service's fixed ports: a run needs all of them free.
constexpr int kFirstPort = 60054;
constexpr int kLastPort = 60059;

/// A scratch installation directory under the system's temporary folder,
/// removed at the end unless kept.
class RunDirectory {
 public:
  RunDirectory() = default;
  ~RunDirectory();
  RunDirectory(const RunDirectory&) = delete;
  RunDirectory& operator=(const RunDirectory&) = delete;

  /// Makes a fresh directory named after `label`. False on failure.
  bool Create(const std::string& label, std::string* error);
  /// Leave the directory in place at the end (for a look afterwards).
  void Keep() { keep_ = true; }
  const std::string& path() const { return path_; }
  /// `name` inside the directory.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
  bool keep_ = false;
};

/// Lays out an installation in `dir`: zeps and libserlink32.so from
/// `bin_dir`, the shipped scripts (*.sh) and message files (*.msg) found
/// there, and a ZEP.conf of its own that names `device` and, when
/// `cycle_ms` is above 0, sets ZEP_MON_CYCLE (otherwise the service's
/// default applies).
bool PrepareInstallation(const std::string& bin_dir, const RunDirectory& dir,
                         const std::string& device, int cycle_ms,
                         std::string* error);

/// upssim, serving a text or binary UPS at `baud` with its exchange log in
/// a file.
class SimulatorProcess {
 public:
  SimulatorProcess() = default;
  ~SimulatorProcess() { Stop(); }
  SimulatorProcess(const SimulatorProcess&) = delete;
  SimulatorProcess& operator=(const SimulatorProcess&) = delete;

  /// Starts the program and waits (up to 10 s) for its terminal path and
  /// its "ready" line. Its error output goes to `stderr_path`.
  bool Start(const std::string& program, const std::string& protocol, int baud,
             const std::string& log_path, const std::string& stderr_path,
             std::string* error, const std::string& state = "normal");
  /// SIGTERM, then SIGKILL if it has not ended within 10 s.
  void Stop();
  pid_t pid() const { return pid_; }
  const std::string& device() const { return device_; }

 private:
  pid_t pid_ = -1;
  std::string device_;
};

/// A datagram socket standing for systemd's notify socket: bound at a path
/// and drained by a thread of its own, as the service manager reads what a
/// Type=notify service reports.
class NotifyDrain {
 public:
  NotifyDrain() = default;
  ~NotifyDrain();
  NotifyDrain(const NotifyDrain&) = delete;
  NotifyDrain& operator=(const NotifyDrain&) = delete;

  bool Open(const std::string& path, std::string* error);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread reader_;
};

/// zeps from an installation directory, in console mode (-debug) or, when
/// `notify` is given, in the mode systemd runs (-service, reporting to that
/// socket), with standard output and the trace lines (standard error) in
/// files there. Its environment is the benchmark's without ZEP_ settings and
/// NOTIFY_SOCKET, plus ZEP_DRY_RUN=1 so that no shipped script could shut the
/// computer down.
class ServiceProcess {
 public:
  ServiceProcess() = default;
  ~ServiceProcess() { Stop(); }
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  bool Start(const RunDirectory& dir, std::string* error,
             const NotifyDrain* notify = nullptr);
  /// False once the process has ended (it is then reaped).
  bool Running();
  /// Ctrl+C (SIGINT; SIGTERM in service mode); SIGKILL if it has not ended
  /// within 20 s. Returns the exit status, or -1 when it had to be killed or
  /// was not running.
  int Stop();
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int exit_status_ = -1;
  int stop_signal_ = 0;
};

}  // namespace bench
}  // namespace zep
