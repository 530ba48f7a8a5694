// What Linux's /proc tells about a running process: its CPU times (in
// clock ticks, and per thread in nanoseconds from the scheduler), its
// resident memory, and which UDP ports are bound on the machine. The
// parsers take the file's text, so that they can be tried on written
// samples; the readers open the files of a live process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zep {
namespace bench {

/// CPU times of /proc/<pid>/stat, in clock ticks (sysconf(_SC_CLK_TCK)).
struct ProcessTimes {
  int64_t user_ticks = 0;    ///< utime
  int64_t system_ticks = 0;  ///< stime
  /// Children that have ended and been waited for (cutime + cstime): the
  /// scripts the service started.
  int64_t children_ticks = 0;
};

/// Parses the text of /proc/<pid>/stat. The command name between the
/// parentheses may hold blanks and parentheses of its own, so the fields
/// are counted from the last ")". False when the text is too short.
bool ParseProcessTimes(const std::string& stat_text, ProcessTimes* times);

/// Resident memory of /proc/<pid>/status, in KiB.
struct MemoryFigures {
  int64_t vm_rss_kib = -1;  ///< VmRSS: resident now
  int64_t vm_hwm_kib = -1;  ///< VmHWM: the most resident so far
};

/// Parses the text of /proc/<pid>/status. False when either line is
/// missing.
bool ParseMemoryFigures(const std::string& status_text, MemoryFigures* memory);

/// One thread's scheduler figures.
struct ThreadFigures {
  int tid = 0;
  /// Time on a CPU (first field of /proc/<pid>/task/<tid>/schedstat).
  int64_t run_ns = 0;
  /// Times the thread gave up the CPU to wait (voluntary_ctxt_switches):
  /// one per sleep, poll or receive that had to wait.
  int64_t waits = 0;
};

/// The first field of a schedstat text. False when there is none.
bool ParseRunNanoseconds(const std::string& schedstat_text, int64_t* run_ns);

/// The voluntary_ctxt_switches line of a status text. False when missing.
bool ParseVoluntarySwitches(const std::string& status_text, int64_t* count);

/// The local ports of a /proc/net/udp (or udp6) text that lie in
/// [low, high], each once, in ascending order.
std::vector<int> BoundPortsIn(const std::string& net_udp_text, int low,
                              int high);

/// Readers of a live process; false (or empty) when it is gone.
bool ReadProcessTimes(pid_t pid, ProcessTimes* times);
bool ReadMemoryFigures(pid_t pid, MemoryFigures* memory);
/// Every thread of the process, in ascending thread id (creation) order.
std::vector<ThreadFigures> ReadThreadFigures(pid_t pid);
/// The ports in [low, high] bound on this machine (IPv4 and IPv6).
std::vector<int> BoundUdpPorts(int low, int high);

/// The whole text of a file; empty when it cannot be read.
std::string ReadTextFile(const std::string& path);

}  // namespace bench
}  // namespace zep
