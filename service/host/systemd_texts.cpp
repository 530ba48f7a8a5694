#include "host/systemd_texts.h"

#include <sstream>

namespace zep {
namespace {

const char* StateName(uint32_t state) {
  switch (state) {
    case kServiceStopped:
      return "Stopped";
    case kServiceStartPending:
      return "Start pending";
    case kServiceStopPending:
      return "Stop pending";
    case kServiceRunning:
      return "Running";
    case kServiceContinuePending:
      return "Continue pending";
    case kServicePausePending:
      return "Pause pending";
    case kServicePaused:
      return "Paused";
    default:
      return "Unknown";
  }
}

bool IsPending(uint32_t state) {
  return state == kServiceStartPending || state == kServiceStopPending ||
         state == kServiceContinuePending || state == kServicePausePending;
}

// Specifiers ('%') apply in every setting of a unit.
std::string EscapeSpecifiers(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace

std::string SystemdExecWord(const std::string& word) {
  std::string doubled;
  for (char c : word) {
    doubled += c;
    if (c == '%' || c == '$') doubled += c;
  }
  if (doubled.find_first_of(" \t\"'\\;") == std::string::npos) return doubled;
  std::string quoted = "\"";
  for (char c : doubled) {
    if (c == '\\' || c == '"') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string SystemdUnitText(const std::string& description,
                            const std::string& executable,
                            const std::string& extra_argument,
                            const std::string& directory) {
  std::string exec = SystemdExecWord(executable);
  if (!extra_argument.empty()) exec += " " + SystemdExecWord(extra_argument);
  std::string text;
  text += "[Unit]\n";
  text += "Description=" + EscapeSpecifiers(description) + "\n";
  text += "After=network.target\n";
  text += "\n[Service]\n";
  text += "Type=notify\n";
  text += "ExecStart=" + exec + "\n";
  text += "WorkingDirectory=" + EscapeSpecifiers(directory) + "\n";
  text += "Restart=on-failure\n";
  // Stopping the service ends the service alone, as on Windows: a power
  // failure script waiting to shut the computer down goes on waiting.
  text += "KillMode=process\n";
  text += "\n[Install]\n";
  text += "WantedBy=multi-user.target\n";
  return text;
}

std::string NotifyMessage(const ServiceStatusValues& values) {
  std::string text;
  if (values.current_state == kServiceRunning) text += "READY=1\n";
  if (values.current_state == kServiceStopPending) text += "STOPPING=1\n";
  if (IsPending(values.current_state) && values.wait_hint != 0) {
    text += "EXTEND_TIMEOUT_USEC=" +
            std::to_string(static_cast<uint64_t>(values.wait_hint) * 1000) +
            "\n";
  }
  if (values.current_state == kServiceStopped && values.win32_exit_code != 0) {
    text += "ERRNO=" + std::to_string(values.win32_exit_code) + "\n";
  }
  text += "STATUS=";
  text += StateName(values.current_state);
  return text;
}

bool ShutdownJobQueued(const std::string& list_jobs_output) {
  std::istringstream lines(list_jobs_output);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word;
    std::string previous;
    // The unit name is followed by the job type, whatever comes before.
    while (words >> word) {
      if (previous == "shutdown.target") return word == "start";
      previous = word;
    }
  }
  return false;
}

}  // namespace zep
