#!/bin/sh
# Builds what the benchmark needs (zeps, libserlink32.so, upssim, the shipped
# scripts and message files, zep_bench) in the native preset's tree, an
# optimised build (RelWithDebInfo), and runs it. Options are passed on to
# zep_bench (--help lists them); for example a short trial:
#
#     bench/run.sh --passes 60 --fast-seconds 30 --default-minutes 1
#
# ZEP_BENCH_BUILD=DIR builds and runs in another tree instead of
# build/native (configured the same way when it does not exist yet).
# The runs use the service's fixed ports 60054-60059 and wait for them to be
# free.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZEP_BENCH_BUILD:-$root/build/native}

if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = "$root/build/native" ]; then
    (cd "$root" && cmake --preset native)
  else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
fi
cmake --build "$build" --target zep_bench -j 2
exec "$build/bin/zep_bench" "$@"
