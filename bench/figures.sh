#!/bin/bash
# Every figure of bench/README.md's second round for the native preset's
# build, and, with --before DIR, for the programs in DIR too (zeps,
# libserlink32.so, upssim and the shipped files of another build's bin/),
# each run of DIR right before the same run of this build, so that the two
# are taken one after the other on the same machine. About 45 minutes for
# one build, 90 for two. The outputs go to build/bench-figures/.
#
#     bench/figures.sh
#     bench/figures.sh --before /tmp/old-build/bin
#
# The runs use the service's fixed ports 60054-60059, which must be free.
set -euo pipefail

before=
if [ "${1-}" = --before ]; then
  before=$(cd "${2:?--before needs a directory}" && pwd)
fi
. "$(dirname "$0")/tree.sh"
cmake --build "$build" --target zep_bench zep_latency -j 2
out=$root/build/bench-figures
mkdir -p "$out"

# run <name> <program> <options...>: the before build (if any), then this one.
run() {
  local name=$1 program=$2
  shift 2
  if [ -n "$before" ]; then
    echo "== $name, before"
    "$build/bin/$program" --bin "$before" "$@" | tee "$out/$name.before.txt"
  fi
  echo "== $name"
  "$build/bin/$program" --bin "$build/bin" "$@" | tee "$out/$name.txt"
}

run console zep_bench --passes 200 --fast-seconds 60 --default-minutes 2
run service zep_bench --skip-fast --default-minutes 2 --service-mode
run onbattery zep_bench --skip-fast --default-minutes 2 --mains-failure
run latency zep_latency --trials 12 --link-trials 5
echo "figures in $out"
