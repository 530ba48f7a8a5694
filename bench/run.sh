#!/bin/sh
# Builds what the benchmarks need (zeps, libserlink32.so, upssim, the shipped
# scripts and message files, zep_bench, zep_pass_code_bench) in the native
# preset's tree, an optimised build (RelWithDebInfo), and runs them: first
# the code's own CPU per pass (a few seconds), then the service against the
# simulator (about 20 minutes). Options are passed on to zep_bench (--help
# lists them); for example a short trial:
#
#     bench/run.sh --passes 60 --fast-seconds 30 --default-minutes 1
#
# ZEP_BENCH_BUILD=DIR builds and runs in another tree instead of
# build/native (configured the same way when it does not exist yet).
# The runs use the service's fixed ports 60054-60059 and wait for them to be
# free.
set -eu

. "$(dirname "$0")/tree.sh"
cmake --build "$build" --target zep_bench -j 2
if cmake --build "$build" --target zep_pass_code_bench -j 2 >/dev/null 2>&1
then
  # Its trace lines (the UPS I/O thread's) are part of what it measures,
  # but nobody needs to read them.
  "$build/bin/zep_pass_code_bench" 2>/dev/null
else
  echo "zep_pass_code_bench: not built (is libbenchmark-dev installed?)"
fi
exec "$build/bin/zep_bench" "$@"
