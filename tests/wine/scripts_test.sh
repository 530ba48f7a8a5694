#!/usr/bin/env bash
# The Windows scripts an installation ships (the .bat files laid out in the
# Windows bin directory) under Wine's cmd, started the way the service
# starts them: a command line of the quoted path and the arguments, blanks
# and the interpreter's special characters inside double quotes. They run in
# a scratch installation with the real zepe.exe and ZEP_DRY_RUN=1; the
# expected log lines are written out by hand. Then zeps.exe -debug is
# started there, so that zepe.exe takes its texts from the service and the
# service's own status records reach status.bat.
#
#   tests/wine/scripts_test.sh <windows-bin-dir> [native-bin-dir]
#
# (The native directory is accepted for the common calling convention of
# these tests and not used.) Uses the Wine prefix of the caller when
# WINEPREFIX is set, else a throw-away prefix of its own. Prints PASS/FAIL
# lines and "N passed, M failed"; exits non-zero when anything failed.
#
# Wine's cmd is not Windows' cmd: it lacks substrings and substitutions of
# !delayed! variables, runs both sides of && and || after a call, and
# expands % and ! once more inside argument texts; the scripts avoid all of
# these, and the checks below stay with what both interpreters agree on.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs no-native "$@"
zep_begin caller

D=$W/zep
zep_keep "$D/zep.log"

SCRIPTS=(event status meter temperature overload powerfail emergency
  powerrecovery exec dblclk zeplib)
mkdir -p "$D"
for s in "${SCRIPTS[@]}"; do
  cp "$BIN/$s.bat" "$D/" || bad "$s.bat is in the bin directory"
done
cp "$BIN/zepe.exe" "$D/" || bad "zepe.exe is in the bin directory"

crlf_only() {
  local f
  for f in "$D"/*.bat; do
    # Every line ends in CR LF, the last one included.
    [ "$(tail -c 2 "$f" | od -An -c | tr -d ' ')" = '\r\n' ] || return 1
    LC_ALL=C grep -q $'[^\r]$' "$f" && return 1
    LC_ALL=C grep -q $'^$' "$f" && return 1
  done
  return 0
}
check "every .bat has CR LF line ends" crlf_only

zep_wine_session

# run <name> <argument text as on the service's command line>: the script
# started through a one-line batch file that holds that command line.
# Each run has a batch file of its own (cmd reads a batch file while it runs
# it, so one must never be rewritten under a run in the background).
N=0
run() {
  N=$((N + 1))
  local id=$BASHPID-$N
  printf '@"%s\\%s.bat" %s\r\n' "$(wine_path "$D")" "$1" "$2" >"$W/run$id.bat"
  (cd "$D" && ZEP_DRY_RUN=1 w cmd /c "$(wine_path "$W/run$id.bat")" \
    >"$W/run$id.out" 2>&1)
}

# The log without the time stamps, which zepe writes as date and time in
# the user's format (two words).
log_lines() { tr -d '\r' 2>/dev/null <"$D/zep.log" | sed 's/^[^ ]* [^ ]* //'; }
stamped() {
  tr -d '\r' <"$D/zep.log" |
    grep -qvE '^[0-9]{1,4}[/.-][0-9]{1,2}[/.-][0-9]{1,4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} ' &&
    return 1
  return 0
}
expect_log() {  # expect_log <expected lines...>
  local expected
  expected=$(printf '%s\n' "$@")
  if [ "$(log_lines)" = "$expected" ]; then return 0; fi
  echo "--- expected"
  printf '%s\n' "$expected"
  echo "--- got"
  log_lines
  return 1
}
# The same for lines of scripts that run at the same time, in any order.
expect_log_in_any_order() {
  local expected
  expected=$(printf '%s\n' "$@" | LC_ALL=C sort)
  if [ "$(log_lines | LC_ALL=C sort)" = "$expected" ]; then return 0; fi
  echo "--- expected (in any order)"
  printf '%s\n' "$expected"
  echo "--- got"
  log_lines
  return 1
}
clear_log() { rm -f "$D/zep.log"; }
log_has() { log_lines | grep -qF -- "$1"; }
# A script waits to shut down: the marker holds its name and number, not the
# "done" of one that already shut down, and it has logged its wait (it claims
# the shutdown first, then logs).
pending() {
  [ -s "$D/shutdown.pending" ] && ! grep -q ' done' "$D/shutdown.pending" &&
    log_lines | tail -n 1 | grep -q 'shutdown in'
}

# --- the logging scripts ----------------------------------------------------
clear_log
run status '1 100 "Start Service" "ZEP Version Information" 1.1.0.2'
run status '2 21 Caution "Mains failure"'
run status '1 21 "a&echo INJ>inj.txt" "x|y" "<z>" "(p)^q"'
run meter '1500 1500 100 101.0 50.0 100.0 50.0 0.5 35 25.0 27.5'
run meter '1500 1350 100'
run temperature '1 55.5 35 0.5'
run overload '0 35 0.5 25.0'
check "status, meter, temperature and overload lines" expect_log \
  "status 1 100: Start Service | ZEP Version Information | 1.1.0.2" \
  "status 2 21: Caution | Mains failure" \
  "status 1 21: a&echo INJ>inj.txt | x|y | <z> | (p)^q" \
  "meter: rated 1500 VA 1500 W 100 V | input 101.0 V 50.0 Hz | output 100.0 V 50.0 Hz 0.5 kVA | load 35 % | temperature 25.0 C | battery 27.5 V" \
  "meter: rated 1500 VA 1350 W 100 V | input ? V ? Hz | output ? V ? Hz ? kVA | load ? % | temperature ? C | battery ? V" \
  "temperature: high temperature began (temperature 55.5 C, load 35 %, output 0.5 kVA)" \
  "overload: overload ended (load 35 %, output 0.5 kVA, temperature 25.0 C)"
check "each line begins with zepe's date and time" stamped
check "no argument text ran as a command" test ! -e "$D/inj.txt"

# Scripts started at the same moment (as on a power failure) each get their
# line into the log: cmd opens the log for itself alone while it appends.
clear_log
PIDS=()
for code in 21 22 23 24 25 26; do
  run status "2 $code Caution \"Category $code\"" &
  PIDS+=($!)
done
wait "${PIDS[@]}"
check "scripts started at once all get their lines in" expect_log_in_any_order \
  "status 2 21: Caution | Category 21" "status 2 22: Caution | Category 22" \
  "status 2 23: Caution | Category 23" "status 2 24: Caution | Category 24" \
  "status 2 25: Caution | Category 25" "status 2 26: Caution | Category 26"
check "the log's lock is gone afterwards" test ! -e "$D/zep.log.lock"

clear_log
# With no service running zepe prints each number as it was given.
run event '1 2 3368'
run event '"1&echo INJ>inj.txt" 2 3368'
run event '"-l" 3 3880'
(export ZEP_UPS_DELAY=2 && run exec '')
# The delay as the service uses it: at most 99; no command below 0 or
# unset; other text named as it stands.
(export ZEP_UPS_DELAY=150 && run exec '')
(export ZEP_UPS_DELAY="007 min" && run exec '')
(export ZEP_UPS_DELAY=-1 && run exec '')
(unset ZEP_UPS_DELAY && run exec '')
check "event and exec lines" expect_log \
  "[2] 1: 3368 (event 3368)" \
  "[2] 1&echo INJ>inj.txt: 3368 (event 3368)" \
  "[3] -l: 3880 (event 3880)" \
  "exec: the computer shuts down; the UPS switches off in 2 min and restarts afterwards" \
  "exec: the computer shuts down; the UPS switches off in 99 min and restarts afterwards" \
  "exec: the computer shuts down; the UPS command follows ZEP_UPS_DELAY=007 min" \
  "exec: the computer shuts down; no UPS command is sent (ZEP_UPS_DELAY is not a number of 0 or more)" \
  "exec: the computer shuts down; no UPS command is sent (ZEP_UPS_DELAY is not a number of 0 or more)"
check "no event argument ran as a command" test ! -e "$D/inj.txt"

# --- the pending shutdown ---------------------------------------------------
clear_log
run powerfail '35 0.5 25.0 100 1'
run emergency '35 0.5 25.0 10 1'
marker_says() { [ "$(tr -d '\r' <"$D/shutdown.pending" 2>/dev/null)" = "$1" ]; }
check "the marker says who shut down" marker_says "emergency done"
run powerrecovery ''
check "powerfail and emergency shut down after their wait (dry run)" expect_log \
  "powerfail: mains failure; shutdown in 1 s unless the power returns (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 100 %)" \
  "powerfail: would shut down now (ZEP_DRY_RUN=1)" \
  "emergency: battery low during a mains failure; shutdown in 1 s (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 10 %)" \
  "emergency: would shut down now (ZEP_DRY_RUN=1)" \
  "powerrecovery: the power returned"
check "a recovery after it clears the marker" test ! -e "$D/shutdown.pending"

clear_log
run powerfail '35 0.5 25.0 100 60' &
RUN_PID=$!
check "powerfail: the shutdown is pending" wait_for 30 pending
run powerrecovery ''
wait "$RUN_PID"
run powerrecovery ''
check "powerrecovery cancels the pending shutdown" expect_log \
  "powerfail: mains failure; shutdown in 60 s unless the power returns (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 100 %)" \
  "powerrecovery: the power returned; the pending shutdown is cancelled" \
  "powerfail: shutdown cancelled" \
  "powerrecovery: the power returned"

clear_log
run powerfail '35 0.5 25.0 20 60' &
RUN_PID=$!
check "powerfail: pending again" wait_for 30 pending
run emergency '35 0.5 25.0 10 3'
wait "$RUN_PID"
check "the marker says emergency is done" marker_says "emergency done"
check "emergency takes over and shuts down" expect_log_in_any_order \
  "powerfail: mains failure; shutdown in 60 s unless the power returns (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 20 %)" \
  "emergency: battery low during a mains failure; shutdown in 3 s (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 10 %)" \
  "powerfail: taken over by emergency" \
  "emergency: would shut down now (ZEP_DRY_RUN=1)"

clear_log
# The list cut before the wait: the setting counts; not a plain number: the
# default.
(export ZEP_PF_WAIT=1 && run powerfail 35)
(export ZEP_LB_WAIT=soon && run emergency '35 0.5 25.0 10 010') &
RUN_PID=$!
check "emergency: pending with the default wait" wait_for 30 pending
run powerrecovery ''
wait "$RUN_PID"
check "the wait from the setting, else the default" expect_log \
  "powerfail: mains failure; shutdown in 1 s unless the power returns (load 35 %, output ? kVA, temperature ? C, battery ? %)" \
  "powerfail: would shut down now (ZEP_DRY_RUN=1)" \
  "emergency: battery low during a mains failure; shutdown in 30 s (load 35 %, output 0.5 kVA, temperature 25.0 C, battery 10 %)" \
  "powerrecovery: the power returned; the pending shutdown is cancelled" \
  "emergency: shutdown cancelled"

# --- with the service -------------------------------------------------------
# zeps.exe in the same installation, with no UPS to find (the device named
# does not exist), answers zepe.exe from its English message files and
# reports its start and stop through status.bat.
if [ ! -f "$BIN/zeps.exe" ] || [ ! -f "$BIN/serlink32.dll" ]; then
  echo "SKIP: zeps.exe is not built; the scripts were not run with the service"
elif ! worker_ports_free; then
  # zepe always asks port 60055; another service there would answer it.
  echo "SKIP: another program holds the service's ports 60054..60059"
else
  zep_install "$D"
  cp "$BIN/ZEP.conf" "$BIN"/*.msg "$D/"
  clear_log
  ZEP_DRY_RUN=1 ZEP_PORT='\\.\COM99' zeps_debug_start "$D" 300 zeps
  check "zeps: Start Service through status.bat" wait_for 60 log_has \
    "status 1 100: Start Service | ZEP Version Information | 1.1.0.2"
  zepe_answers() {
    (cd "$D" && w ./zepe.exe -l 2 >"$W/zepe.out" 2>&1)
    [ "$(tr -d '\r' <"$W/zepe.out")" = "Caution" ]
  }
  check "zeps: zepe gets the level texts" wait_for 30 zepe_answers
  clear_log
  run event '1 2 3368'
  run event '0 3 3880'
  run event '1 1 64'
  check "event.bat with the service's texts" expect_log \
    "[Caution] Occurrence: Mains failure: running on battery (event 3368)" \
    "[Fault] Release: UPS communication restored (event 3880)" \
    "[Information] Occurrence: Normal operation (on line) (event 64)"
  zeps_stop
  check "zeps: Stop Service through status.bat" wait_for 30 log_has \
    "status 1 101: Stop Service"
fi

zep_finish
