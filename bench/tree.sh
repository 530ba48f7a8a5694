# shellcheck shell=sh
# Sourced by the benchmark scripts: $root, and $build, the tree they build
# and run in (ZEP_BENCH_BUILD, else the native preset's build/native),
# configured as an optimised build (RelWithDebInfo) when it is not yet.
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEP_BENCH_BUILD:-$root/build/native}

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/native" ]; then
    (cd "$root" && cmake --preset native)
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
fi
