// Invariant checks for the fuzz targets. A broken invariant is reported like
// a crash: libFuzzer keeps the input that caused it and stops.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>

namespace zep {

/// Aborts with `what` (the invariant, in words) when `ok` is false.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  // On the sanitizers' report channel: standard error, or the copy of it
  // that libFuzzer keeps when the target's own output is closed
  // (-close_fd_mask).
  const std::string line = std::string("fuzz invariant broken: ") + what;
  __sanitizer_report_error_summary(line.c_str());
  std::abort();
}

}  // namespace zep
