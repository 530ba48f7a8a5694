// zep_bench: what the monitor costs while it polls. Runs the built service
// (zeps -debug) against the UPS simulator twice:
//
// 1. with ZEP_MON_CYCLE=1, so that the loop runs as fast as its prescribed
//    waits allow: polling passes per second counted from the simulator's
//    exchange log, the gaps between commands against those waits, CPU time
//    per pass, and resident memory after an hour's worth of passes;
// 2. with the default cycle (1000 ms): CPU seconds per minute.
//
// See bench/README.md for the figures and what they mean.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench_processes.h"
#include "exchange_scan.h"
#include "log_follower.h"
#include "proc_figures.h"

namespace {

using namespace zep::bench;

// A text UPS: its log shows the monitor's own commands, which is what the
// passes are counted from (for a binary UPS the UPS I/O thread sends poll
// frames instead).
constexpr char kProtocol[] = "text";
constexpr int kFastCycleMs = 1;
constexpr int kDefaultCycleMs = 1000;
// Passes seen before the window opens: the first pass after an
// identification has a relay wait of its own at its end.
constexpr int kWarmUpPasses = 2;
constexpr int kWarmUpLimitSeconds = 300;
constexpr int kSampleStepMs = 1000;

const char kUsage[] =
    "Usage: zep_bench [options]\n"
    "Runs zeps -debug against upssim and reports what the monitor costs.\n"
    "\n"
    "  --bin DIR             folder with zeps, libserlink32.so, upssim and\n"
    "                        the shipped scripts (default: this program's)\n"
    "  --baud N              the simulator's line speed (default 19200)\n"
    "  --passes N            passes at ZEP_MON_CYCLE=1 (default 900, more\n"
    "                        than an hour's worth at the default cycle)\n"
    "  --fast-seconds S      shortest window at ZEP_MON_CYCLE=1 (default 60)\n"
    "  --default-minutes M   window at the default cycle (default 3)\n"
    "  --skip-fast           leave out the ZEP_MON_CYCLE=1 run\n"
    "  --skip-default        leave out the default-cycle run\n"
    "  --service-mode        run zeps -service as systemd does (with a notify\n"
    "                        socket) instead of the console mode (-debug)\n"
    "  --mains-failure       the UPS is on battery from the start, so that\n"
    "                        powerfail.sh waits out its 300 s in the window\n"
    "  --port-wait S         wait up to S seconds for the service's ports\n"
    "                        60054-60059 to be free (default 600)\n"
    "  --keep                keep the scratch installations\n";

struct Options {
  std::string bin_dir;
  int baud = 19200;
  int passes = 900;
  int fast_seconds = 60;
  int default_minutes = 3;
  bool fast = true;
  bool slow = true;
  int port_wait_seconds = 600;
  bool keep = false;
  bool service_mode = false;
  bool mains_failure = false;
};

bool ParseInt(const char* text, int low, int high, int* value) {
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || n < low || n > high) return false;
  *value = static_cast<int>(n);
  return true;
}

// 0: go on; otherwise the exit code.
int ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    bool takes_value = true;
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return -1;
    } else if (arg == "--bin" && value != nullptr) {
      options->bin_dir = value;
    } else if (arg == "--baud" && value != nullptr) {
      ok = ParseInt(value, 1, 1000000, &options->baud);
    } else if (arg == "--passes" && value != nullptr) {
      ok = ParseInt(value, 1, 1000000, &options->passes);
    } else if (arg == "--fast-seconds" && value != nullptr) {
      ok = ParseInt(value, 1, 100000, &options->fast_seconds);
    } else if (arg == "--default-minutes" && value != nullptr) {
      ok = ParseInt(value, 1, 10000, &options->default_minutes);
    } else if (arg == "--port-wait" && value != nullptr) {
      ok = ParseInt(value, 0, 100000, &options->port_wait_seconds);
    } else {
      takes_value = false;
      if (arg == "--skip-fast") {
        options->fast = false;
      } else if (arg == "--skip-default") {
        options->slow = false;
      } else if (arg == "--keep") {
        options->keep = true;
      } else if (arg == "--service-mode") {
        options->service_mode = true;
      } else if (arg == "--mains-failure") {
        options->mains_failure = true;
      } else {
        ok = false;
      }
    }
    if (!ok) {
      std::fprintf(stderr, "zep_bench: bad option \"%s\"\n%s", arg.c_str(),
                   kUsage);
      return 2;
    }
    if (takes_value) ++i;
  }
  if (options->bin_dir.empty()) {
    std::error_code code;
    options->bin_dir =
        std::filesystem::read_symlink("/proc/self/exe", code).parent_path();
  }
  return 0;
}

void Pause(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The service's fixed ports may be held by another run (a test, a demo):
// wait for them rather than take the next lower ones.
bool WaitForFreePorts(int limit_seconds) {
  const int64_t end = NowMs() + limit_seconds * 1000LL;
  bool told = false;
  for (;;) {
    const std::vector<int> busy = BoundUdpPorts(kFirstPort, kLastPort);
    if (busy.empty()) return true;
    if (NowMs() >= end) {
      std::fprintf(stderr, "zep_bench: ports %d-%d still in use\n", kFirstPort,
                   kLastPort);
      return false;
    }
    if (!told) {
      std::fprintf(stderr,
                   "zep_bench: port %d is in use; waiting for %d-%d to be "
                   "free\n",
                   busy.front(), kFirstPort, kLastPort);
      told = true;
    }
    Pause(5000);
  }
}

// Everything read at one moment of a run.
struct Sample {
  int64_t at_ms = 0;
  ProcessTimes service;
  ProcessTimes simulator;
  MemoryFigures memory;
  std::vector<ThreadFigures> threads;
  int64_t simulator_run_ns = 0;
  int passes = 0;
  size_t gaps = 0;
  size_t pass_ends = 0;
};

int64_t RunNanoseconds(const std::vector<ThreadFigures>& threads) {
  int64_t sum = 0;
  for (const ThreadFigures& thread : threads) sum += thread.run_ns;
  return sum;
}

Sample TakeSample(pid_t service, pid_t simulator, const LogFollower& log) {
  Sample sample;
  sample.at_ms = NowMs();
  ReadProcessTimes(service, &sample.service);
  ReadProcessTimes(simulator, &sample.simulator);
  ReadMemoryFigures(service, &sample.memory);
  sample.threads = ReadThreadFigures(service);
  sample.simulator_run_ns = RunNanoseconds(ReadThreadFigures(simulator));
  sample.passes = log.counter().passes();
  sample.gaps = log.counter().command_gaps_ms().size();
  sample.pass_ends = log.counter().pass_end_ms().size();
  return sample;
}

struct PhaseSettings {
  const char* label;
  int cycle_ms;  // 0: the service's default
  int min_passes;
  int min_seconds;
};

struct PhaseResult {
  Sample begin;
  Sample end;
  std::vector<int64_t> gaps_ms;
  std::vector<int64_t> pass_end_ms;
  int service_exit = -1;
};

bool RunPhase(const Options& options, const PhaseSettings& settings,
              PhaseResult* result) {
  std::printf("\n== %s: ZEP_MON_CYCLE=%s ==\n", settings.label,
              settings.cycle_ms > 0 ? std::to_string(settings.cycle_ms).c_str()
                                    : "(not set)");
  std::fflush(stdout);
  if (!WaitForFreePorts(options.port_wait_seconds)) return false;

  std::string error;
  RunDirectory dir;
  if (!dir.Create(settings.label, &error)) {
    std::fprintf(stderr, "zep_bench: %s\n", error.c_str());
    return false;
  }
  if (options.keep) {
    dir.Keep();
    std::printf("installation and logs in %s\n", dir.path().c_str());
  }
  SimulatorProcess simulator;
  const std::string log_path = dir.File("exchange.log");
  const std::string upssim =
      (std::filesystem::path(options.bin_dir) / "upssim").string();
  NotifyDrain notify;
  if (!simulator.Start(upssim, kProtocol, options.baud, log_path,
                       dir.File("upssim.err"), &error,
                       options.mains_failure ? "mains-failure" : "normal") ||
      !PrepareInstallation(options.bin_dir, dir, simulator.device(),
                           settings.cycle_ms, &error) ||
      (options.service_mode && !notify.Open(dir.File("notify.sock"), &error))) {
    std::fprintf(stderr, "zep_bench: %s\n", error.c_str());
    return false;
  }
  ServiceProcess service;
  if (!service.Start(dir, &error, options.service_mode ? &notify : nullptr)) {
    std::fprintf(stderr, "zep_bench: %s\n", error.c_str());
    return false;
  }

  LogFollower log(log_path);
  const int64_t started = NowMs();
  while (log.counter().passes() < kWarmUpPasses) {
    if (!service.Running()) {
      std::fprintf(stderr, "zep_bench: zeps ended during the start (see %s)\n",
                   dir.File("trace.txt").c_str());
      dir.Keep();
      return false;
    }
    if (NowMs() - started > kWarmUpLimitSeconds * 1000LL) {
      std::fprintf(stderr, "zep_bench: no polling after %d s (see %s)\n",
                   kWarmUpLimitSeconds, dir.path().c_str());
      dir.Keep();
      return false;
    }
    Pause(kSampleStepMs / 4);
    log.Update();
  }
  std::printf("polling after %.1f s; measuring...\n",
              (NowMs() - started) / 1000.0);
  std::fflush(stdout);

  result->begin = TakeSample(service.pid(), simulator.pid(), log);
  int last_told = 0;
  for (;;) {
    Pause(kSampleStepMs);
    log.Update();
    if (!service.Running()) {
      std::fprintf(stderr, "zep_bench: zeps ended while measured (see %s)\n",
                   dir.File("trace.txt").c_str());
      dir.Keep();
      return false;
    }
    const int passes = log.counter().passes() - result->begin.passes;
    const int64_t elapsed = NowMs() - result->begin.at_ms;
    if (passes >= settings.min_passes &&
        elapsed >= settings.min_seconds * 1000LL) {
      break;
    }
    if (passes / 100 != last_told / 100) {
      std::printf("  %d passes in %.0f s\n", passes, elapsed / 1000.0);
      std::fflush(stdout);
      last_told = passes;
    }
  }
  result->end = TakeSample(service.pid(), simulator.pid(), log);
  const std::vector<int64_t>& gaps = log.counter().command_gaps_ms();
  result->gaps_ms.assign(gaps.begin() + result->begin.gaps,
                         gaps.begin() + result->end.gaps);
  const std::vector<int64_t>& ends = log.counter().pass_end_ms();
  result->pass_end_ms.assign(ends.begin() + result->begin.pass_ends,
                             ends.begin() + result->end.pass_ends);
  result->service_exit = service.Stop();
  simulator.Stop();
  if (result->service_exit != 0) {
    std::fprintf(stderr, "zep_bench: zeps ended with %d after Ctrl+C\n",
                 result->service_exit);
  }
  return true;
}

// Thread roles in the order the service creates its threads: the host's
// signal watcher and, in console mode, its service thread (in service mode
// the main thread runs the service), the six workers by slot, and the
// launcher's reaper once a script has run.
const char* const kThreadRoles[] = {"main",    "signals", "service", "ups i/o",
                                    "monitor", "event",   "meter",   "external",
                                    "config",  "reaper"};
const char* const kServiceModeRoles[] = {"main+svc", "signals", "ups i/o",
                                         "monitor",  "event",   "meter",
                                         "external", "config",  "reaper"};

bool g_service_mode = false;

std::string ThreadRole(size_t index, size_t count) {
  if (!g_service_mode && (count == 9 || count == 10)) {
    return kThreadRoles[index];
  }
  if (g_service_mode && (count == 8 || count == 9)) {
    return kServiceModeRoles[index];
  }
  return "thread " + std::to_string(index);
}

void PrintThreads(const PhaseResult& result, double per, const char* unit,
                  double seconds) {
  std::printf("  per thread (CPU %s, waits per second):\n", unit);
  const std::vector<ThreadFigures>& end = result.end.threads;
  for (size_t i = 0; i < end.size(); ++i) {
    ThreadFigures before;
    for (const ThreadFigures& thread : result.begin.threads) {
      if (thread.tid == end[i].tid) before = thread;
    }
    std::printf("    %-9s %9.1f %8.1f\n", ThreadRole(i, end.size()).c_str(),
                (end[i].run_ns - before.run_ns) / 1000.0 / per,
                (end[i].waits - before.waits) / seconds);
  }
}

double TicksToMs(int64_t ticks) {
  static const long per_second = sysconf(_SC_CLK_TCK);
  return ticks * 1000.0 / per_second;
}

void PrintMemory(const PhaseResult& result) {
  std::printf(
      "  memory: VmRSS %lld KiB, VmHWM %lld KiB at the start; "
      "VmRSS %lld KiB, VmHWM %lld KiB at the end\n",
      static_cast<long long>(result.begin.memory.vm_rss_kib),
      static_cast<long long>(result.begin.memory.vm_hwm_kib),
      static_cast<long long>(result.end.memory.vm_rss_kib),
      static_cast<long long>(result.end.memory.vm_hwm_kib));
}

void PrintGaps(const PhaseResult& result, int cycle_ms) {
  PrescribedWaits waits;
  waits.cycle_ms = cycle_ms;
  const GapFigures gaps = SummariseGaps(result.gaps_ms, waits);
  std::printf(
      "  command to command: mean %.1f ms, median %lld, 90%% %lld, "
      "max %lld (%d gaps)\n",
      gaps.mean_ms, static_cast<long long>(gaps.median_ms),
      static_cast<long long>(gaps.p90_ms), static_cast<long long>(gaps.max_ms),
      gaps.count);
  std::printf(
      "  prescribed per command: %d ms (reply waiting at the first "
      "look) or %d ms (%.0f%% of the commands)\n",
      waits.ShortCommandMs(), waits.LongCommandMs(), gaps.long_share * 100);
  std::printf("  the service's own time per command: %.2f ms\n",
              gaps.mean_excess_ms);
}

void ReportFast(const PhaseResult& result) {
  const Sample& a = result.begin;
  const Sample& b = result.end;
  const int passes = b.passes - a.passes;
  const double seconds = (b.at_ms - a.at_ms) / 1000.0;
  std::printf("window: %d passes in %.1f s\n", passes, seconds);
  std::printf("  passes per second: %.3f", passes / seconds);
  const std::vector<int64_t>& ends = result.pass_end_ms;
  if (ends.size() >= 2) {
    std::printf(" (log clock: %.3f)",
                (ends.size() - 1) * 1000.0 / (ends.back() - ends.front()));
  }
  std::printf("\n");

  PrintGaps(result, kFastCycleMs);

  if (passes <= 0) return;
  const int64_t user = b.service.user_ticks - a.service.user_ticks;
  const int64_t system = b.service.system_ticks - a.service.system_ticks;
  const double run_ms =
      (RunNanoseconds(b.threads) - RunNanoseconds(a.threads)) / 1e6;
  std::printf(
      "  zeps CPU per pass: %.3f ms (utime+stime: %lld+%lld ticks "
      "in the window), %.3f ms by the scheduler's count\n",
      TicksToMs(user + system) / passes, static_cast<long long>(user),
      static_cast<long long>(system), run_ms / passes);
  std::printf("  scripts' CPU in the window: %.0f ms\n",
              TicksToMs(b.service.children_ticks - a.service.children_ticks));
  std::printf("  upssim CPU per pass: %.3f ms\n",
              (b.simulator_run_ns - a.simulator_run_ns) / 1e6 / passes);
  PrintThreads(result, passes, "us per pass", seconds);
  PrintMemory(result);
}

void ReportDefault(const PhaseResult& result) {
  const Sample& a = result.begin;
  const Sample& b = result.end;
  const double seconds = (b.at_ms - a.at_ms) / 1000.0;
  const double minutes = seconds / 60.0;
  const int passes = b.passes - a.passes;
  std::printf("window: %.1f s, %d passes (%.1f per minute)\n", seconds, passes,
              passes / minutes);
  const int64_t ticks = b.service.user_ticks - a.service.user_ticks +
                        b.service.system_ticks - a.service.system_ticks;
  const double run_ms =
      (RunNanoseconds(b.threads) - RunNanoseconds(a.threads)) / 1e6;
  std::printf(
      "  zeps CPU seconds per minute: %.4f (utime+stime), %.4f by "
      "the scheduler's count\n",
      TicksToMs(ticks) / 1000.0 / minutes, run_ms / 1000.0 / minutes);
  std::printf("  scripts' CPU seconds per minute: %.4f\n",
              TicksToMs(b.service.children_ticks - a.service.children_ticks) /
                  1000.0 / minutes);
  std::printf("  upssim CPU seconds per minute: %.4f\n",
              (b.simulator_run_ns - a.simulator_run_ns) / 1e9 / minutes);
  PrintGaps(result, kDefaultCycleMs);
  PrintThreads(result, minutes * 1000.0, "ms per minute", seconds);
  PrintMemory(result);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  const int parsed = ParseOptions(argc, argv, &options);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;

  g_service_mode = options.service_mode;
  std::printf(
      "zep_bench: %s UPS at %d bps%s, zeps %s, %ld CPUs, binaries from %s\n",
      kProtocol, options.baud, options.mains_failure ? " on battery" : "",
      options.service_mode ? "-service" : "-debug",
      sysconf(_SC_NPROCESSORS_ONLN), options.bin_dir.c_str());

  bool ok = true;
  if (options.fast) {
    PhaseResult result;
    const PhaseSettings settings = {"fast", kFastCycleMs, options.passes,
                                    options.fast_seconds};
    if (RunPhase(options, settings, &result)) {
      ReportFast(result);
    } else {
      ok = false;
    }
  }
  if (options.slow) {
    PhaseResult result;
    const PhaseSettings settings = {"default", 0, 0,
                                    options.default_minutes * 60};
    if (RunPhase(options, settings, &result)) {
      ReportDefault(result);
    } else {
      ok = false;
    }
  }
  return ok ? 0 : 1;
}
