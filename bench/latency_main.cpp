// zep_latency: how long the service takes to act on what the UPS reports.
// Runs the built service (zeps -debug) against the UPS simulator, here in
// this process so that its state changes at a known moment, and times:
//
// - the mains failure to the start of powerfail.sh,
// - the mains' return to the start of powerrecovery.sh,
// - a UPS that falls silent to event.sh reporting event 3880,
//
// each over trials at random phase against the polling, at the default cycle
// and at ZEP_MON_CYCLE=1, beside the design floor of each trial: the waits the
// polling prescribes from the change to the report (latency_figures.h). The
// scripts are replaced by ones that write their name to a FIFO this program
// reads, so that each start is timed on the same clock as the change.
//
// See bench/README.md for the figures.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_processes.h"
#include "latency_figures.h"
#include "proc_figures.h"
#include "simulator.h"

namespace {

using namespace zep::bench;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultCycleMs = 1000;
constexpr int kFastCycleMs = 1;
// Every wait for a script is bounded; only a broken run reaches it.
constexpr int kScriptWaitMs = 120000;

const char kUsage[] =
    "Usage: zep_latency [options]\n"
    "Times the service from a change at the simulated UPS to the script\n"
    "that reports it, at the default cycle and at ZEP_MON_CYCLE=1.\n"
    "\n"
    "  --bin DIR          folder with zeps, libserlink32.so and the shipped\n"
    "                     scripts (default: this program's)\n"
    "  --trials N         mains failures (and returns) per cycle (default 12)\n"
    "  --link-trials N    lost links per cycle (default 5)\n"
    "  --skip-default     leave out the default cycle\n"
    "  --skip-fast        leave out ZEP_MON_CYCLE=1\n"
    "  --seed N           seed of the random phases (default 1)\n"
    "  --keep             keep the scratch installations\n";

struct Options {
  std::string bin_dir;
  int trials = 12;
  int link_trials = 5;
  bool slow = true;
  bool fast = true;
  unsigned seed = 1;
  bool keep = false;
};

double MsSince(Clock::time_point start, Clock::time_point end) {
  return std::chrono::duration<double, std::milli>(end - start).count();
}

void Pause(double ms) {
  std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
}

// The lines the recording scripts write to the FIFO, each with the moment it
// was read.
class ScriptFeed {
 public:
  ~ScriptFeed() { Close(); }

  bool Open(const std::string& path, std::string* error) {
    if (mkfifo(path.c_str(), 0600) != 0) {
      *error = "cannot make " + path + ": " + std::strerror(errno);
      return false;
    }
    // Read and write, so that the FIFO always has a writer and a read
    // waits instead of seeing its end between two scripts.
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
      *error = "cannot open " + path + ": " + std::strerror(errno);
      return false;
    }
    reader_ = std::thread([this] { Read(); });
    return true;
  }

  void Close() {
    if (fd_ < 0) return;
    stopping_ = true;
    const char wake[] = "\n";
    if (write(fd_, wake, 1) < 0) {
      // Nothing to do: the reader ends with the descriptor below.
    }
    if (reader_.joinable()) reader_.join();
    close(fd_);
    fd_ = -1;
  }

  // Forgets what came so far.
  void Clear() {
    std::lock_guard<std::mutex> hold(lock_);
    lines_.clear();
  }

  // Waits until a line comes that is `wanted` or begins with it and a
  // blank (the script's arguments); false after the limit.
  bool WaitFor(const std::string& wanted, Clock::time_point* at) {
    std::unique_lock<std::mutex> hold(lock_);
    const Clock::time_point end =
        Clock::now() + std::chrono::milliseconds(kScriptWaitMs);
    for (;;) {
      while (!lines_.empty()) {
        const Line line = lines_.front();
        lines_.pop_front();
        if (line.text == wanted ||
            line.text.compare(0, wanted.size() + 1, wanted + " ") == 0) {
          *at = line.at;
          return true;
        }
      }
      if (changed_.wait_until(hold, end) == std::cv_status::timeout) {
        return false;
      }
    }
  }

 private:
  struct Line {
    std::string text;
    Clock::time_point at;
  };

  void Read() {
    std::string partial;
    char buffer[512];
    while (!stopping_) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      const Clock::time_point at = Clock::now();
      if (n <= 0) break;
      partial.append(buffer, static_cast<size_t>(n));
      std::lock_guard<std::mutex> hold(lock_);
      size_t end;
      while ((end = partial.find('\n')) != std::string::npos) {
        if (end > 0) lines_.push_back({partial.substr(0, end), at});
        partial.erase(0, end + 1);
      }
      changed_.notify_all();
    }
  }

  int fd_ = -1;
  bool stopping_ = false;
  std::thread reader_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<Line> lines_;
};

// A script that writes its name and arguments to the FIFO, in one write.
bool WriteRecordingScript(const RunDirectory& dir, const std::string& name,
                          const std::string& fifo) {
  std::ofstream script(dir.File(name + ".sh"));
  script << "#!/bin/sh\nline=" << name << "\n"
         << "for a in \"$@\"; do line=\"$line $a\"; done\n"
         << "printf '%s\\n' \"$line\" > '" << fifo << "'\n";
  return static_cast<bool>(script);
}

// The number of "&S1" or of any polling requests the simulator has seen.
int Requests(const zep::Simulator& sim, bool status_only) {
  const zep::SimCounters counters = sim.Counters();
  int n = 0;
  for (const auto& entry : counters.text_requests) {
    if (entry.first == "&S1\r" ||
        (!status_only && (entry.first == "QQ\r" || entry.first == "&R\r" ||
                          entry.first == "Q1\r"))) {
      n += entry.second;
    }
  }
  return n;
}

// Watches the simulator from `start` until it has seen one more of the
// requests counted from `before`; the milliseconds from `start` to then.
double MsToNextRequest(const zep::Simulator& sim, bool status_only, int before,
                       Clock::time_point start) {
  for (;;) {
    if (Requests(sim, status_only) > before) {
      return MsSince(start, Clock::now());
    }
    if (MsSince(start, Clock::now()) > kScriptWaitMs) return -1;
    Pause(0.5);
  }
}

struct TrialSet {
  std::vector<double> latency_ms;
  std::vector<double> floor_ms;
};

struct CycleResult {
  TrialSet failure;
  TrialSet recovery;
  TrialSet lost_link;
};

// One change at the simulator, timed to the script it makes start.
bool TimeChange(zep::Simulator& sim, ScriptFeed& feed,
                const PrescribedWaits& waits, zep::SimState state,
                const std::string& script, bool lost_link, TrialSet* set) {
  feed.Clear();
  const int before = Requests(sim, !lost_link);
  const Clock::time_point start = Clock::now();
  sim.SetState(state);
  // The request that reads the change is counted while the script is still
  // to come.
  const double wait_ms = MsToNextRequest(sim, !lost_link, before, start);
  Clock::time_point at;
  if (wait_ms < 0 || !feed.WaitFor(script, &at)) {
    std::fprintf(stderr, "zep_latency: \"%s\" did not come\n", script.c_str());
    return false;
  }
  set->latency_ms.push_back(MsSince(start, at));
  set->floor_ms.push_back(lost_link ? LostLinkFloorMs(waits, wait_ms)
                                    : StatusChangeFloorMs(waits, wait_ms));
  std::printf("  %-22s %8.0f ms (floor %6.0f)\n", script.c_str(),
              set->latency_ms.back(), set->floor_ms.back());
  std::fflush(stdout);
  return true;
}

bool RunCycle(const Options& options, int cycle_ms, std::mt19937* random,
              CycleResult* result) {
  std::printf("\n== ZEP_MON_CYCLE=%s ==\n",
              cycle_ms == kDefaultCycleMs ? "(not set: 1000)"
                                          : std::to_string(cycle_ms).c_str());
  std::fflush(stdout);
  if (!BoundUdpPorts(kFirstPort, kLastPort).empty()) {
    std::fprintf(stderr, "zep_latency: ports %d-%d are in use\n", kFirstPort,
                 kLastPort);
    return false;
  }
  std::string error;
  RunDirectory dir;
  if (!dir.Create("latency", &error)) {
    std::fprintf(stderr, "zep_latency: %s\n", error.c_str());
    return false;
  }
  if (options.keep) {
    dir.Keep();
    std::printf("installation and logs in %s\n", dir.path().c_str());
  }
  zep::SimOptions sim_options;
  sim_options.baud = 19200;
  sim_options.log_path = dir.File("exchange.log");
  // Answers take their time on the line as from a real UPS, so that the
  // serial library's reply wait always sees the answer grow after its
  // first look: the long form of every command, which the floor takes.
  sim_options.line_time = true;
  zep::Simulator sim(sim_options);
  ScriptFeed feed;
  const std::string fifo = dir.File("scripts.fifo");
  if (!sim.Start(&error) || !feed.Open(fifo, &error) ||
      !PrepareInstallation(options.bin_dir, dir, sim.DevicePath(),
                           cycle_ms == kDefaultCycleMs ? 0 : cycle_ms,
                           &error)) {
    std::fprintf(stderr, "zep_latency: %s\n", error.c_str());
    return false;
  }
  for (const char* name : {"powerfail", "powerrecovery", "event"}) {
    if (!WriteRecordingScript(dir, name, fifo)) {
      std::fprintf(stderr, "zep_latency: cannot write %s.sh\n", name);
      return false;
    }
  }
  ServiceProcess service;
  Clock::time_point at;
  if (!service.Start(dir, &error) || !feed.WaitFor("event 1 1 64", &at)) {
    std::fprintf(stderr, "zep_latency: no polling (%s)\n", error.c_str());
    dir.Keep();
    return false;
  }

  PrescribedWaits waits;
  waits.cycle_ms = cycle_ms;
  // A pass in the long form: every phase of it is as likely.
  std::uniform_real_distribution<double> phase(0, 4.0 * waits.LongCommandMs());
  bool ok = true;
  for (int i = 0; ok && i < options.trials; ++i) {
    Pause(phase(*random));
    ok = TimeChange(sim, feed, waits, zep::SimState::kMainsFailure, "powerfail",
                    false, &result->failure);
    Pause(phase(*random));
    ok = ok && TimeChange(sim, feed, waits, zep::SimState::kNormal,
                          "powerrecovery", false, &result->recovery);
  }
  for (int i = 0; ok && i < options.link_trials; ++i) {
    Pause(phase(*random));
    ok = TimeChange(sim, feed, waits, zep::SimState::kSilence, "event 1 3 3880",
                    true, &result->lost_link);
    // Back, and polled again, before the next trial.
    sim.SetState(zep::SimState::kNormal);
    ok = ok && feed.WaitFor("event 0 3 3880", &at) &&
         feed.WaitFor("event 1 1 64", &at);
  }
  service.Stop();
  sim.Stop();
  if (!ok) dir.Keep();
  return ok;
}

void PrintSet(const char* what, const TrialSet& set) {
  const Spread latency = SpreadOf(set.latency_ms);
  const Spread floor = SpreadOf(set.floor_ms);
  std::vector<double> excess;
  for (size_t i = 0; i < set.latency_ms.size(); ++i) {
    excess.push_back(set.latency_ms[i] - set.floor_ms[i]);
  }
  const Spread added = SpreadOf(excess);
  std::printf(
      "  %-30s n=%-3d median %7.0f ms (10%%-90%%: %7.0f-%7.0f)  "
      "floor %7.0f (%7.0f-%7.0f)  added %5.0f (%5.0f-%5.0f)\n",
      what, latency.count, latency.median, latency.p10, latency.p90,
      floor.median, floor.p10, floor.p90, added.median, added.p10, added.p90);
}

void Report(const char* label, const CycleResult& result) {
  std::printf("\n%s:\n", label);
  PrintSet("mains failure to powerfail", result.failure);
  PrintSet("mains back to powerrecovery", result.recovery);
  PrintSet("silent UPS to event 3880", result.lost_link);
}

int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (arg == "--bin" && value != nullptr) {
      options->bin_dir = argv[++i];
    } else if (arg == "--trials" && value != nullptr) {
      options->trials = std::atoi(argv[++i]);
    } else if (arg == "--link-trials" && value != nullptr) {
      options->link_trials = std::atoi(argv[++i]);
    } else if (arg == "--seed" && value != nullptr) {
      options->seed =
          static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--skip-default") {
      options->slow = false;
    } else if (arg == "--skip-fast") {
      options->fast = false;
    } else if (arg == "--keep") {
      options->keep = true;
    } else {
      std::fprintf(stderr, "zep_latency: bad option \"%s\"\n%s", arg.c_str(),
                   kUsage);
      return 2;
    }
  }
  if (options->trials < 1 || options->link_trials < 0) {
    std::fprintf(stderr, "zep_latency: bad trial counts\n");
    return 2;
  }
  if (options->bin_dir.empty()) {
    std::error_code code;
    options->bin_dir =
        std::filesystem::read_symlink("/proc/self/exe", code).parent_path();
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;
  std::mt19937 random(options.seed);
  CycleResult slow, fast;
  bool ok = true;
  if (options.slow) ok = RunCycle(options, kDefaultCycleMs, &random, &slow);
  if (ok && options.fast) ok = RunCycle(options, kFastCycleMs, &random, &fast);
  if (options.slow) Report("Default cycle (1000 ms)", slow);
  if (options.fast) Report("ZEP_MON_CYCLE=1", fast);
  return ok ? 0 : 1;
}
