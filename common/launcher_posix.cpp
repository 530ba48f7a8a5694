#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "launcher.h"
#include "launcher_backend.h"
#include "process.h"
#include "trace.h"

namespace zep {
namespace {

// Reaps the scripts this process started, and only those: a waitpid(-1)
// would steal the exit status of children that other code waits for. The
// thread sleeps while no script runs and looks every 100 ms while some do,
// so no SIGCHLD handler is needed and no child stays a zombie for long.
class ChildReaper {
 public:
  void Add(pid_t pid) {
    std::lock_guard<std::mutex> hold(lock_);
    pending_.push_back(pid);
    if (!started_) {
      started_ = true;
      // The reaper lives as long as the process; it is never joined.
      std::thread([this] { Run(); }).detach();
    }
    wake_.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      wake_.wait(hold, [this] { return !pending_.empty(); });
      for (size_t i = 0; i < pending_.size();) {
        int status = 0;
        pid_t done = waitpid(pending_[i], &status, WNOHANG);
        // Ended (reaped now) or no longer our child: either way it is done.
        if (done == pending_[i] || (done < 0 && errno != EINTR)) {
          pending_[i] = pending_.back();
          pending_.pop_back();
        } else {
          ++i;
        }
      }
      if (!pending_.empty()) {
        wake_.wait_for(hold, std::chrono::milliseconds(100));
      }
    }
  }

  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<pid_t> pending_;
  bool started_ = false;
};

ChildReaper& Reaper() {
  // Never destroyed: the detached reaper thread may still use it while the
  // process exits.
  static ChildReaper* reaper = new ChildReaper;
  return *reaper;
}

// "name.bat" (any case) is run as the shell script "name.sh".
std::string ScriptFileName(const std::string& name) {
  const size_t n = name.size();
  if (n >= 4 && name[n - 4] == '.' && (name[n - 3] | 0x20) == 'b' &&
      (name[n - 2] | 0x20) == 'a' && (name[n - 1] | 0x20) == 't') {
    return name.substr(0, n - 4) + ".sh";
  }
  return name;
}

// posix_spawn attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = posix_spawnattr_init(&attr_) == 0;
    if (posix_spawn_file_actions_init(&actions_) == 0) {
      actions_ready_ = true;
    } else {
      ok_ = false;
    }
  }
  ~SpawnSetup() {
    if (actions_ready_) posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool Prepare(const std::string& directory) {
    if (!ok_) return false;
    // The host blocks the console signals in every thread and waits for them
    // in one; the script must get the normal mask and default actions back.
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE, SIGCHLD}) {
      sigaddset(&defaults, sig);
    }
    short flags =
        POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP;
    if (posix_spawnattr_setsigmask(&attr_, &none) != 0 ||
        posix_spawnattr_setsigdefault(&attr_, &defaults) != 0 ||
        // A process group of its own: Ctrl+C at the service's terminal stops
        // the service in order but does not kill a running script, as a
        // script started without a console is not reached on Windows.
        posix_spawnattr_setpgroup(&attr_, 0) != 0 ||
        posix_spawnattr_setflags(&attr_, flags) != 0) {
      return false;
    }
    // No input from the service's terminal; output stays visible.
    if (posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null",
                                         O_RDONLY, 0) != 0) {
      return false;
    }
    if (posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str()) !=
        0) {
      return false;
    }
#if defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Sockets and the serial port are opened close-on-exec already; this
    // also keeps out any descriptor some library opened without it.
    if (posix_spawn_file_actions_addclosefrom_np(&actions_, 3) != 0) {
      return false;
    }
#endif
    return true;
  }

  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
  bool actions_ready_ = false;
};

}  // namespace

std::string ScriptFilePath(const std::string& directory,
                           const std::string& name) {
  return directory + "/" + ScriptFileName(name);
}

int StartScriptProcess(const std::string& directory, const std::string& name,
                       const std::vector<std::string>& args) {
  const std::string path = ScriptFilePath(directory, name);
  // As CreateProcessA fails for a missing batch file, a missing script is a
  // failed start and not a shell complaining later.
  if (access(path.c_str(), R_OK) != 0) return 0;

  std::vector<std::string> argv_text;
  argv_text.reserve(args.size() + 2);
  argv_text.push_back("sh");
  argv_text.push_back(path);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : argv_text) argv.push_back(&text[0]);
  argv.push_back(nullptr);

  // Taken under the settings lock, so the script sees a consistent set even
  // while the configuration thread rewrites a value.
  std::vector<std::string> env_text = EnvironmentSnapshot();
  std::vector<char*> envp;
  for (std::string& text : env_text) envp.push_back(&text[0]);
  envp.push_back(nullptr);

  SpawnSetup setup;
  if (!setup.Prepare(directory)) return 0;
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/sh", setup.actions(), setup.attr(),
                       argv.data(), envp.data());
  if (rc != 0) {
    TraceFormat("Script start failed (%s): %s\n", std::strerror(rc),
                path.c_str());
    return 0;
  }
  Reaper().Add(pid);
  return 1;
}

}  // namespace zep
