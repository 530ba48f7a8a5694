#!/usr/bin/env bash
# The monitor of zeps.exe under Wine: zeps.exe -debug in a scratch
# installation directory with .bat files that record how they were started,
# COM1 mapped to a native upssim (a text UPS at 2400 bps) whose state the
# script changes through its standard input. The port search finds the UPS
# on COM1 (ZEP_MAX_PORT=1, so the device is "\\.\COM1" as the search names
# it) after the three faster speeds; the identification makes the "Port",
# "System Information" and "Rated Information" records; a silent UPS
# begins event 3880 and its return ends it.
#
#   tests/wine/monitor_test.sh <windows-bin-dir> <native-bin-dir>
#
# Uses the Wine prefix of the caller when WINEPREFIX is set, else a
# throw-away prefix of its own. Prints PASS/FAIL lines and "N passed, M
# failed"; exits non-zero when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=$(cd "${1:?usage: monitor_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
NATIVE=$(cd "${2:?usage: monitor_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
W=$(mktemp -d /tmp/zep-monitor-wine.XXXXXX)
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
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}

D=$W/zep
SIM_PID=
ZEPS_PID=
cleanup() {
  [ -n "$ZEPS_PID" ] && kill -KILL "$ZEPS_PID" 2>/dev/null
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null && wait "$SIM_PID" 2>/dev/null
  exec 3>&- 2>/dev/null
  w reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1
  if [ "$OWN_PREFIX" = 1 ]; then
    wine_down
  fi
  mkdir -p "$BIN/../wine-logs/monitor"
  cp "$W"/*.log "$W"/*.out "$W"/*.err "$BIN/../wine-logs/monitor/" \
    2>/dev/null
  runs >"$BIN/../wine-logs/monitor/runs.txt" 2>/dev/null
  rm -rf "$W"
}
trap cleanup EXIT

# wait_for <seconds> <command...>: polls every 0.2 s.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  while [ "$SECONDS" -lt "$end" ]; do
    "$@" && return 0
    sleep 0.2
  done
  "$@"
}

# Every run of a script leaves a file in runs/ named after the script and
# its arguments (quotes removed). Batch files started at the same moment
# cannot share one log (cmd opens it exclusively and the losers' lines are
# lost), so each run writes a file of its own. The redirection comes first,
# so that a digit at the end of the arguments is never read as a handle
# number.
runs() { ls "$D/runs" 2>/dev/null | sed -e 's/\.txt$//' -e 's/ *$//'; }
script_ran() { runs | grep -qx "$1"; }
script_count() { runs | grep -cx "$1"; }

# The installation: the program, its library, the settings and a recording
# .bat for each script the service may start here.
mkdir -p "$D/runs"
cp "$BIN/zeps.exe" "$BIN/serlink32.dll" "$D/"
for name in status event powerrecovery meter; do
  printf '@echo off\r\n> "%%~dp0runs\\%%~n0 %%~1 %%~2 %%~3 %%~4 %%~5 %%~6 %%~7 %%~8 %%~9.txt" echo %%~n0 %%*\r\n' \
    >"$D/$name.bat"
done
printf '[CONFIG]\r\nZEP_MAX_PORT=1\r\nZEP_MON_CYCLE=20\r\n' >"$D/ZEP.conf"

# The simulator, its commands through a FIFO held open by this script.
mkfifo "$W/sim.in"
exec 3<>"$W/sim.in"
"$NATIVE/upssim" --link "$W/tty" --baud 2400 --log "$W/sim.log" \
  <"$W/sim.in" >"$W/sim.out" 2>&1 &
SIM_PID=$!
sim_ready() { grep -q '^ready$' "$W/sim.out" 2>/dev/null && [ -L "$W/tty" ]; }
check "simulator ready" wait_for 20 sim_ready
sim() {
  echo "$1" >&3
  wait_for 10 grep -q "^state $1\$" "$W/sim.out"
}

wine_up >"$W/wine-session.log" 2>&1
wine_map_com 1 "$W/tty" >>"$W/wine-session.log" 2>&1
check "COM1 points at the simulator" \
  test "$(readlink "$WINEPREFIX/dosdevices/com1")" = "$W/tty"

cd "$D" || exit 2
WINEDEBUG=-all,+debugstr timeout 600 wine ./zeps.exe -debug \
  >"$W/zeps.out" 2>"$W/zeps.err" &
ZEPS_PID=$!
cd "$HERE" || exit 2

check "Port record: COM1 at 2400 bps" \
  wait_for 90 script_ran 'status 1 1 Port COM1 2400bps'
check "System Information record: model, version, rating record" \
  wait_for 60 script_ran 'status 1 110 System Information T-PWR15J1 1.2 15001'
check "Rated Information record: 1500 VA, 1500 W, 100 V" \
  wait_for 30 script_ran 'status 1 120 Rated Information 1500VA 1500W 100V'
check "the first pass reported the on-line condition" \
  wait_for 30 script_ran 'event 1 1 64'
check "the search traced the device and the speeds" \
  grep -q 'OutputDebugStringA "\\\\\\\\.\\\\COM1"' "$W/zeps.err"
check "the search traced the speed it found" \
  grep -q 'OutputDebugStringA " 2400bps --> "' "$W/zeps.err"
check "three speeds were not the UPS's own" \
  test "$(grep -c 'the UPS runs at 2400 bps: not answered' "$W/sim.log")" = 3
# The requests after the probes (the binary request and its CR at each
# speed): the second probe as "M\r", then the identification in its order.
IDENT='rx "M\r" rx "&K\r" rx "%ZQ\r" rx "&M\r" rx "%N\r" rx "%M\r" rx "M\r" rx "&S1\r" rx "&N\r" '
sent_in_order() {
  grep -o 'rx ".*"' "$W/sim.log" | grep -v 'xAB' | head -9 | tr '\n' ' ' |
    grep -qxF "$IDENT"
}
check "the identification went out in order" sent_in_order

check "simulator silent" sim silence
check "event.bat: the link event began" wait_for 60 script_ran 'event 1 3 3880'
check "simulator back" sim normal
check "event.bat: the link event ended" wait_for 90 script_ran 'event 0 3 3880'
# Identified again on the same port: the identification reached the UPS a
# second time, and no new search tried the faster speeds again.
check "identified again" \
  test "$(grep -c 'rx "%ZQ\\r"' "$W/sim.log")" = 2
check "on the same port and speed" \
  test "$(grep -c 'not answered' "$W/sim.log")" = 3
check "no power recovery without a power failure" \
  test "$(script_count 'powerrecovery')" = 0

# timeout passes the signal on; Wine turns it into CTRL_C_EVENT.
kill -INT "$ZEPS_PID"
wait "$ZEPS_PID"
RC=$?
ZEPS_PID=
check "Ctrl+C ends it with exit code 0 (rc $RC)" test "$RC" -eq 0
check "Stop Service announced" wait_for 20 script_ran 'status 1 101 Stop Service'

echo "$PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
