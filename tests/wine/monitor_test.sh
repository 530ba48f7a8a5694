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
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs native "$@"
zep_begin caller

# The installation: the program, its library, the settings and a recording
# .bat for each script the service may start here.
D=$W/zep
zep_install "$D"
zep_recording_bats "$D" status event powerrecovery meter
zep_conf "$D" ZEP_MAX_PORT=1 ZEP_MON_CYCLE=20

check "simulator ready" sim_start ups --baud 2400
SIM_LOG=$W/sim-ups.log

zep_wine_session
zep_map_com 1 "$W/tty-ups"
check "COM1 points at the simulator" com_points_at 1 "$W/tty-ups"

zeps_debug_start "$D" 600 zeps

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
  test "$(grep -c 'the UPS runs at 2400 bps: not answered' "$SIM_LOG")" = 3
# The requests after the probes (the binary request and its CR at each
# speed): the second probe as "M\r", then the identification in its order.
IDENT='rx "M\r" rx "&K\r" rx "%ZQ\r" rx "&M\r" rx "%N\r" rx "%M\r" rx "M\r" rx "&S1\r" rx "&N\r" '
sent_in_order() {
  grep -o 'rx ".*"' "$SIM_LOG" | grep -v 'xAB' | head -9 | tr '\n' ' ' |
    grep -qxF "$IDENT"
}
check "the identification went out in order" sent_in_order

check "simulator silent" sim_set ups silence
check "event.bat: the link event began" wait_for 60 script_ran 'event 1 3 3880'
check "simulator back" sim_set ups normal
check "event.bat: the link event ended" wait_for 90 script_ran 'event 0 3 3880'
# Identified again on the same port: the identification reached the UPS a
# second time, and no new search tried the faster speeds again.
check "identified again" \
  test "$(grep -c 'rx "%ZQ\\r"' "$SIM_LOG")" = 2
check "on the same port and speed" \
  test "$(grep -c 'not answered' "$SIM_LOG")" = 3
check "no power recovery without a power failure" \
  test "$(script_count 'powerrecovery')" = 0

zeps_stop
check "Ctrl+C ends it with exit code 0 (rc $ZEPS_RC)" test "$ZEPS_RC" -eq 0
check "Stop Service announced" wait_for 20 script_ran 'status 1 101 Stop Service'

zep_finish
