#include "events/script_launcher.h"

#include "events/status_records.h"
#include "service_context.h"
#include "trace.h"

namespace zep {
namespace {

constexpr char kStatusScript[] = "status.bat";

}  // namespace

int ServiceLauncher::Launch(const std::string& name,
                            const std::vector<std::string>& args) {
  if (system_->Launch(name, args) == 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    missing_.erase(name);
    return 1;
  }
  // Other failures (a command line too long, a failed start) have their
  // own trace lines; only the missing file is said here.
  if (ScriptIsPresent(name.c_str())) return 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!missing_.insert(name).second) return 0;
  }
  const std::string path = ScriptPath(name.c_str());
  const std::string& shown = path.empty() ? name : path;
  // The record is a run of status.bat itself, so its own absence can only
  // be traced.
  if (name == kStatusScript || context_ == nullptr) {
    TraceFormat("%s: the script is missing; nothing was run\n", shown.c_str());
  } else {
    ReportProblem(*context_, shown.c_str(),
                  "the script is missing; nothing was run");
  }
  return 0;
}

}  // namespace zep
