#!/usr/bin/env bash
# The power events of zeps.exe under Wine: zeps.exe -debug in a scratch
# installation directory with .bat files that record how they were started,
# COM1 mapped to a native upssim (text UPS at 19200 bps) whose state the
# script changes through its standard input. A mains failure reaches
# "event.bat" and "powerfail.bat" with the information items and the wait,
# battery low during the failure "emergency.bat", the mains back
# "powerrecovery.bat"; Ctrl+C (SIGINT, which Wine delivers as CTRL_C_EVENT)
# ends the service in order.
#
#   tests/wine/events_test.sh <windows-bin-dir> <native-bin-dir>
#
# Ctrl+Break cannot be delivered under Wine: its console passes on only
# CTRL_C_EVENT (GenerateConsoleCtrlEvent refuses CTRL_BREAK_EVENT), and its
# service manager never sends the shutdown controls. The UPS shutdown is
# therefore covered in-process by service_tests.exe (UpsShutdownTest, under
# Wine through ctest) and end to end natively (tests/integration).
#
# Uses the Wine prefix of the caller when WINEPREFIX is set, else a
# throw-away prefix of its own. Prints PASS/FAIL lines and "N passed, M
# failed"; exits non-zero when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
BIN=$(cd "${1:?usage: events_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
NATIVE=$(cd "${2:?usage: events_test.sh <windows-bin-dir> <native-bin-dir>}" && pwd)
W=$(mktemp -d /tmp/zep-events-wine.XXXXXX)
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
  mkdir -p "$BIN/../wine-logs/events"
  runs >"$W/runs.log"
  cp "$W"/*.log "$W"/*.out "$W"/*.err "$BIN/../wine-logs/events/" 2>/dev/null
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
# cannot share one log: cmd opens it exclusively and the losers' lines are
# lost, so each run writes a file of its own.
runs() {
  ls "$D/runs" 2>/dev/null | sed -e 's/\.txt$//' -e 's/ *$//'
}
script_ran() { runs | grep -qx "$1"; }

# The installation: the program, its library, the settings and one
# recording .bat per script the service may start. The redirection comes
# first, so that a digit at the end of the arguments is never read as a
# handle number.
mkdir -p "$D/runs"
cp "$BIN/zeps.exe" "$BIN/serlink32.dll" "$D/"
for name in status event powerfail emergency powerrecovery temperature \
  overload meter exec; do
  printf '@echo off\r\n> "%%~dp0runs\\%%~n0 %%~1 %%~2 %%~3 %%~4 %%~5 %%~6 %%~7 %%~8 %%~9.txt" echo %%~n0 %%*\r\n' \
    >"$D/$name.bat"
done
printf '[CONFIG]\r\nZEP_MAX_PORT=1\r\nZEP_MON_CYCLE=20\r\n' >"$D/ZEP.conf"

# The simulator, its commands through a FIFO held open by this script.
mkfifo "$W/sim.in"
exec 3<>"$W/sim.in"
"$NATIVE/upssim" --link "$W/tty" --baud 19200 --log "$W/sim.log" \
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

check "UPS identified and rated" \
  wait_for 90 script_ran 'status 1 120 .*'

# On battery the simulator answers "QQ" with load 035, temperature 260 and
# output 005, and "&R" with the capacity 080: tag 172, tag 201 / 10,
# tag 88 / 10, the battery figure, then the default wait.
check "simulator on battery" sim mains-failure
check "event.bat: mains failure began" wait_for 60 script_ran 'event 1 2 3368'
check "powerfail.bat with the items and 300" \
  wait_for 30 script_ran 'powerfail 35 0.5 26.0 80 300'

# Battery low: capacity 010, the emergency wait 30.
check "simulator battery low" sim battery-low
check "event.bat: battery low began" wait_for 60 script_ran 'event 1 2 2177'
check "emergency.bat with the items and 30" \
  wait_for 30 script_ran 'emergency 35 0.5 26.0 10 30'

check "simulator on mains" sim normal
check "event.bat: mains failure ended" wait_for 60 script_ran 'event 0 2 3368'
check "powerrecovery.bat without arguments" \
  wait_for 30 script_ran 'powerrecovery'
check "no UPS shutdown without the shutdown request" bash -c \
  "! ls '$D/runs' | grep -q '^exec'"
check "the values were echoed on the console" grep -q '\[ 88:25.0\] ' "$W/zeps.out"

# timeout passes the signal on; Wine turns it into CTRL_C_EVENT.
kill -INT "$ZEPS_PID"
wait "$ZEPS_PID"
RC=$?
ZEPS_PID=
check "Ctrl+C ends it with exit code 0 (rc $RC)" test "$RC" -eq 0
check "Stop Service announced" wait_for 20 script_ran 'status 1 101 Stop Service'

echo "$PASS passed, $FAIL failed"
[ "$FAIL" -eq 0 ]
