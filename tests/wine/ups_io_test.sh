#!/usr/bin/env bash
# The UPS I/O worker of zeps.exe under Wine against the simulator: two
# native upssim processes, a text UPS and a binary UPS, each on a
# pseudo-terminal; COM1 of the Wine prefix is mapped to the text UPS and
# COM2 to the binary one; service_tests.exe then runs the worker's line
# tests with ZEP_TEST_TEXT_UPS=\\.\COM1 and ZEP_TEST_BINARY_UPS=\\.\COM2, so
# that they run instead of being skipped.
#
#   tests/wine/ups_io_test.sh <windows-bin-dir> <native-bin-dir>
#
# The native bin directory holds upssim. Uses the Wine prefix of the caller
# when WINEPREFIX is set (the test runner sets it), else a throw-away prefix
# of its own. Prints PASS/FAIL lines and "N passed, M failed"; exits
# non-zero when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=$(cd "${1:?usage: ups_io_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
NATIVE=$(cd "${2:?usage: ups_io_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
W=$(mktemp -d /tmp/zep-upsio-wine.XXXXXX)
OWN_PREFIX=0
if [ -z "${WINEPREFIX:-}" ]; then
  OWN_PREFIX=1
  export WINEPREFIX="$W/pfx"
fi
# shellcheck source=wine_env.sh
source "$HERE/wine_env.sh" "$WINEPREFIX"

PASS=0
FAIL=0
ok() { echo "PASS: $*"; PASS=$((PASS + 1)); }
bad() { echo "FAIL: $*"; FAIL=$((FAIL + 1)); }
check() { local what=$1; shift; if "$@"; then ok "$what"; else bad "$what"; fi; }

SIMS=()
cleanup() {
  local pid
  for pid in "${SIMS[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  # Leave the COM ports unmapped for whoever uses the prefix next.
  w reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1
  w reg delete 'HKLM\Software\Wine\Ports' /v COM2 /f >/dev/null 2>&1
  if [ "$OWN_PREFIX" = 1 ]; then
    wine_down
  fi
  mkdir -p "$BIN/../wine-logs"
  for f in "$W"/*.log; do
    [ -f "$f" ] && cp "$f" "$BIN/../wine-logs/ups_io-$(basename "$f")"
  done
  rm -rf "$W"
}
trap cleanup EXIT

# start_sim <name> <protocol>: a simulator with its link at $W/tty-<name>;
# waits for its "ready" line.
start_sim() {
  local name=$1 protocol=$2
  "$NATIVE/upssim" --link "$W/tty-$name" --protocol "$protocol" \
    --log "$W/sim-$name.log" </dev/null >"$W/sim-$name.out" 2>&1 &
  SIMS+=($!)
  for _ in $(seq 100); do
    grep -q '^ready$' "$W/sim-$name.out" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^ready$' "$W/sim-$name.out" && [ -L "$W/tty-$name" ]
}

check "upssim exists in the native bin directory" test -x "$NATIVE/upssim"
check "text simulator ready" start_sim text text
check "binary simulator ready" start_sim binary binary

# The wineserver started here keeps these descriptors; give it a log of its
# own rather than this script's output.
wine_up >"$W/wine-session.log" 2>&1
wine_map_com 1 "$W/tty-text" >>"$W/wine-session.log" 2>&1
wine_map_com 2 "$W/tty-binary" >>"$W/wine-session.log" 2>&1
check "COM1 points at the text simulator" \
  test "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$W/tty-text"
check "COM2 points at the binary simulator" \
  test "$(readlink "$WINEPREFIX/dosdevices/com2")" = "$W/tty-binary"

export ZEP_TEST_TEXT_UPS='\\.\COM1'
export ZEP_TEST_BINARY_UPS='\\.\COM2'
(cd "$BIN" && TMO=300 w ./service_tests.exe \
  --gtest_filter='UpsIo*:ExternalWorker*:WorkerPorts*' \
  >"$W/service_tests.log" 2>&1)
rc=$?
check "service_tests.exe passes against COM1 and COM2 (rc $rc)" test $rc -eq 0
check "no test was skipped" bash -c "! grep -q '^\[  SKIPPED \]' '$W/service_tests.log'"
check "the text UPS test ran" \
  grep -q '^\[       OK \] UpsIoLineTest.TextUpsAnswersForItself' "$W/service_tests.log"
check "the binary UPS test ran" \
  grep -q '^\[       OK \] UpsIoLineTest.BinaryUpsGetsTheAnswersATextUpsWouldGive' \
  "$W/service_tests.log"
check "the text UPS saw Q1" grep -q 'rx "Q1\\r"' "$W/sim-text.log"
# The probe: the identification request AB 01 31 23 and a CR.
check "the binary UPS saw the probe" grep -q 'rx AB 01 31 23' "$W/sim-binary.log"
check "no request reached a UPS at a wrong speed" \
  bash -c "! grep -q 'not answered' '$W/sim-text.log' '$W/sim-binary.log'"
grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$W/service_tests.log"

echo "$PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
