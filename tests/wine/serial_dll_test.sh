#!/usr/bin/env bash
# serlink32.dll under Wine against a real COM port: COM1 of the Wine prefix
# is mapped to a pseudo-terminal whose far end is pty_responder.py, and
# serial_tests.exe runs with ZEP_TEST_SERIAL_DEVICE=\\.\COM1, so that its
# line tests run instead of being skipped.
#
#   tests/wine/serial_dll_test.sh <windows-bin-dir> [native-bin-dir]
#
# Uses the Wine prefix of the caller when WINEPREFIX is set (the test runner
# sets it), else a throw-away prefix of its own. Prints PASS/FAIL lines and
# "N passed, M failed"; exits non-zero when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=$(cd "${1:?usage: serial_dll_test.sh <windows-bin-dir>}" && pwd)
W=$(mktemp -d /tmp/zep-serial-wine.XXXXXX)
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

RESPONDER=
cleanup() {
  [ -n "$RESPONDER" ] && kill "$RESPONDER" 2>/dev/null && wait "$RESPONDER" 2>/dev/null
  # Leave COM1 unmapped for whoever uses the prefix next.
  w reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1
  if [ "$OWN_PREFIX" = 1 ]; then
    wine_down
  fi
  mkdir -p "$BIN/../wine-logs"
  cp "$W"/*.log "$BIN/../wine-logs/" 2>/dev/null
  rm -rf "$W"
}
trap cleanup EXIT

LINK="$W/ttyZEP"
python3 "$HERE/pty_responder.py" "$LINK" "$W/serial-responder.log" &
RESPONDER=$!
for _ in $(seq 50); do [ -L "$LINK" ] && break; sleep 0.1; done
check "responder made its pseudo-terminal" test -L "$LINK"

# The wineserver started here keeps these descriptors; give it a log of its
# own rather than this script's output.
wine_up >"$W/wine-session.log" 2>&1
wine_map_com 1 "$LINK" >>"$W/wine-session.log" 2>&1
check "COM1 points at the responder's terminal" \
  test "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$LINK"

export ZEP_TEST_SERIAL_DEVICE='\\.\COM1'
(cd "$BIN" && TMO=300 w ./serial_tests.exe >"$W/serial_tests.log" 2>&1)
rc=$?
check "serial_tests.exe passes against COM1 (rc $rc)" test $rc -eq 0
check "no test was skipped" bash -c "! grep -q '^\[  SKIPPED \]' '$W/serial_tests.log'"
check "the line tests ran" grep -q '^\[       OK \] SerlinkLineTest.MessageProcsExchangesOneRequest' "$W/serial_tests.log"
check "the handle count test ran" grep -q '^\[       OK \] SerlinkDllTest.ReopeningASlotKeepsNoOldHandle' "$W/serial_tests.log"
check "the responder got the requests" grep -q "got b'Q1'" "$W/serial-responder.log"
grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$W/serial_tests.log"

echo "$PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
