// The launcher the service starts its scripts with: the system launcher,
// and a missing script said once. A user who deleted or renamed
// "powerfail.bat" must learn it before the mains fails, not find out that
// nothing ran: the first start of a missing script writes a trace line and
// the status record 130; further starts stay quiet until the script is
// back and goes missing again.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "launcher.h"

namespace zep {

struct ServiceContext;

class ServiceLauncher : public Launcher {
 public:
  /// `context` gives the records of the report (its launcher is normally
  /// this one) and `system` does the starting.
  ServiceLauncher(ServiceContext* context, Launcher* system)
      : context_(context), system_(system) {}

  int Launch(const std::string& name,
             const std::vector<std::string>& args) override;

 private:
  ServiceContext* context_;
  Launcher* system_;
  std::mutex mutex_;
  std::set<std::string> missing_;
};

}  // namespace zep
