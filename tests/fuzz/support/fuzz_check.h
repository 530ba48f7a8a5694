// Invariant checks for the fuzz targets. A broken invariant is reported like
// a crash: libFuzzer keeps the input that caused it and stops.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace zep {

/// Aborts with `what` (the invariant, in words) when `ok` is false.
inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

}  // namespace zep
