#include "proc_figures.h"

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zep {
namespace bench {
namespace {

// A non-negative decimal number; false for anything else.
bool ParseCount(const std::string& text, int64_t* value) {
  if (text.empty()) return false;
  int64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  *value = n;
  return true;
}

// The number after "key:" on the line that starts with it.
bool FindKeyNumber(const std::string& text, const std::string& key,
                   int64_t* value) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.compare(0, key.size(), key) != 0) continue;
    if (line.size() <= key.size() || line[key.size()] != ':') continue;
    std::istringstream fields(line.substr(key.size() + 1));
    std::string number;
    fields >> number;
    return ParseCount(number, value);
  }
  return false;
}

std::string ProcPath(pid_t pid, const std::string& rest) {
  return "/proc/" + std::to_string(pid) + "/" + rest;
}

}  // namespace

std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ParseProcessTimes(const std::string& stat_text, ProcessTimes* times) {
  const size_t close = stat_text.rfind(')');
  if (close == std::string::npos) return false;
  // After the name: state (field 3), then fields 4, 5, ...; utime is field
  // 14, stime 15, cutime 16, cstime 17.
  std::istringstream fields(stat_text.substr(close + 1));
  std::vector<std::string> after;
  for (std::string field; fields >> field && after.size() < 15;) {
    after.push_back(field);
  }
  if (after.size() < 15) return false;
  int64_t values[4] = {};
  for (int i = 0; i < 4; ++i) {
    if (!ParseCount(after[11 + i], &values[i])) return false;
  }
  times->user_ticks = values[0];
  times->system_ticks = values[1];
  times->children_ticks = values[2] + values[3];
  return true;
}

bool ParseMemoryFigures(const std::string& status_text, MemoryFigures* memory) {
  MemoryFigures found;
  if (!FindKeyNumber(status_text, "VmRSS", &found.vm_rss_kib) ||
      !FindKeyNumber(status_text, "VmHWM", &found.vm_hwm_kib)) {
    return false;
  }
  *memory = found;
  return true;
}

bool ParseRunNanoseconds(const std::string& schedstat_text, int64_t* run_ns) {
  std::istringstream fields(schedstat_text);
  std::string first;
  fields >> first;
  return ParseCount(first, run_ns);
}

bool ParseVoluntarySwitches(const std::string& status_text, int64_t* count) {
  return FindKeyNumber(status_text, "voluntary_ctxt_switches", count);
}

std::vector<int> BoundPortsIn(const std::string& net_udp_text, int low,
                              int high) {
  std::vector<int> ports;
  std::istringstream lines(net_udp_text);
  std::string line;
  std::getline(lines, line);  // the column titles
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string slot;
    std::string local;
    if (!(fields >> slot >> local)) continue;
    const size_t colon = local.rfind(':');
    if (colon == std::string::npos || colon + 1 >= local.size()) continue;
    char* end = nullptr;
    const long port = std::strtol(local.c_str() + colon + 1, &end, 16);
    if (*end != '\0' || port < low || port > high) continue;
    ports.push_back(static_cast<int>(port));
  }
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

bool ReadProcessTimes(pid_t pid, ProcessTimes* times) {
  return ParseProcessTimes(ReadTextFile(ProcPath(pid, "stat")), times);
}

bool ReadMemoryFigures(pid_t pid, MemoryFigures* memory) {
  return ParseMemoryFigures(ReadTextFile(ProcPath(pid, "status")), memory);
}

std::vector<ThreadFigures> ReadThreadFigures(pid_t pid) {
  std::vector<ThreadFigures> threads;
  const std::string task_dir = ProcPath(pid, "task");
  DIR* dir = opendir(task_dir.c_str());
  if (dir == nullptr) return threads;
  while (const dirent* entry = readdir(dir)) {
    int64_t tid = 0;
    if (!ParseCount(entry->d_name, &tid)) continue;
    const std::string base = task_dir + "/" + entry->d_name + "/";
    ThreadFigures figures;
    figures.tid = static_cast<int>(tid);
    if (!ParseRunNanoseconds(ReadTextFile(base + "schedstat"),
                             &figures.run_ns) ||
        !ParseVoluntarySwitches(ReadTextFile(base + "status"),
                                &figures.waits)) {
      continue;  // The thread ended while we looked.
    }
    threads.push_back(figures);
  }
  closedir(dir);
  std::sort(threads.begin(), threads.end(),
            [](const ThreadFigures& a, const ThreadFigures& b) {
              return a.tid < b.tid;
            });
  return threads;
}

std::vector<int> BoundUdpPorts(int low, int high) {
  std::vector<int> ports =
      BoundPortsIn(ReadTextFile("/proc/net/udp"), low, high);
  for (int port : BoundPortsIn(ReadTextFile("/proc/net/udp6"), low, high)) {
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end());
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}

}  // namespace bench
}  // namespace zep
