// A setting put for the lifetime of the object, with its earlier value put
// back at the end.
#pragma once

#include <string>

#include "../common/scratch_files.h"
#include "process.h"

namespace zep {

class ScopedSetting {
 public:
  ScopedSetting(const std::string& key, const std::string& value)
      : guard_({key}) {
    PutEnvironmentText((key + "=" + value).c_str());
  }
  ScopedSetting(const ScopedSetting&) = delete;
  ScopedSetting& operator=(const ScopedSetting&) = delete;

 private:
  EnvironmentGuard guard_;
};

}  // namespace zep
