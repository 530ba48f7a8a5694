#!/usr/bin/env bash
# The power events of zeps.exe under Wine: zeps.exe -debug in a scratch
# installation directory with .bat files that record how they were started,
# COM1 mapped to a native upssim (text UPS at 19200 bps) whose state the
# script changes through its standard input. A mains failure reaches
# "event.bat" and "powerfail.bat" with the information items and the wait,
# battery low during the failure "emergency.bat", the mains back
# "powerrecovery.bat"; a garbled line during a second failure neither ends
# nor restarts it; Ctrl+C (SIGINT, which Wine delivers as CTRL_C_EVENT)
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
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs native "$@"
zep_begin caller

# The installation: the program, its library, the settings and one
# recording .bat per script the service may start.
D=$W/zep
zep_install "$D"
zep_recording_bats "$D" status event powerfail emergency powerrecovery \
  temperature overload meter exec
zep_conf "$D" ZEP_MAX_PORT=1 ZEP_MON_CYCLE=20

check "simulator ready" sim_start ups --baud 19200

zep_wine_session
zep_map_com 1 "$W/tty-ups"
check "COM1 points at the simulator" com_points_at 1 "$W/tty-ups"

zeps_debug_start "$D" 600 zeps

check "UPS identified and rated" \
  wait_for 90 script_ran 'status 1 120 .*'

# On battery the simulator answers "QQ" with load 035, temperature 260 and
# output 005, and "&R" with the capacity 080: tag 172, tag 201 / 10,
# tag 88 / 10, the battery figure, then the default wait.
check "simulator on battery" sim_set ups mains-failure
check "event.bat: mains failure began" wait_for 60 script_ran 'event 1 2 3368'
check "powerfail.bat with the items and 300" \
  wait_for 30 script_ran 'powerfail 35 0.5 26.0 80 300'

# Battery low: capacity 010, the emergency wait 30.
check "simulator battery low" sim_set ups battery-low
check "event.bat: battery low began" wait_for 60 script_ran 'event 1 2 2177'
check "emergency.bat with the items and 30" \
  wait_for 30 script_ran 'emergency 35 0.5 26.0 10 30'

check "simulator on mains" sim_set ups normal
check "event.bat: mains failure ended" wait_for 60 script_ran 'event 0 2 3368'
check "powerrecovery.bat without arguments" \
  wait_for 30 script_ran 'powerrecovery'
check "no UPS shutdown without the shutdown request" not script_ran 'exec.*'

# A second failure during which the line is garbled for a while (answers
# cut to half their length, still ending in CR): the link is lost and comes
# back, and the failure is announced again but neither ended nor started
# anew; only the mains' return recovers.
count_is() { test "$(script_count "$2")" = "$1"; }
check "simulator on battery again" sim_set ups mains-failure
check "powerfail.bat a second time" wait_for 60 count_is 2 'powerfail .*'
check "simulator garbles its answers" sim_say ups cut-answers
check "event.bat: the link event began" wait_for 60 script_ran 'event 1 3 3880'
sleep 2
check "simulator answers whole again" sim_say ups whole-answers
check "event.bat: the link event ended" wait_for 60 script_ran 'event 0 3 3880'
check "event.bat: the failure announced again" \
  wait_for 30 count_is 3 'event 1 2 3368'
sleep 2
check "no third powerfail.bat" count_is 2 'powerfail .*'
check "no recovery on the link's return" count_is 1 'powerrecovery'
check "simulator on mains again" sim_set ups normal
check "powerrecovery.bat once more" wait_for 60 count_is 2 'powerrecovery'
check "the values were echoed on the console" grep -q '\[ 88:25.0\] ' "$W/zeps.out"

zeps_stop
check "Ctrl+C ends it with exit code 0 (rc $ZEPS_RC)" test "$ZEPS_RC" -eq 0
check "Stop Service announced" wait_for 20 script_ran 'status 1 101 Stop Service'

zep_finish
