#!/bin/sh
# Builds zep_latency and what it runs (zeps, libserlink32.so, the shipped
# scripts and message files) in the native preset's tree and runs it: a
# change at the simulated UPS to the script that reports it, at the default
# cycle and at ZEP_MON_CYCLE=1, about 15 minutes. Options go to zep_latency
# (--help lists them), for example a short trial:
#
#     bench/latency.sh --trials 3 --link-trials 1
#
# ZEP_BENCH_BUILD=DIR builds and runs in another tree. The runs use the
# service's fixed ports 60054-60059, which must be free.
set -eu

. "$(dirname "$0")/tree.sh"
cmake --build "$build" --target zep_latency -j 2
exec "$build/bin/zep_latency" "$@"
