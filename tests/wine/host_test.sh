#!/usr/bin/env bash
# Black-box tests of zeps.exe under Wine: the usage, console mode with the
# six workers and Ctrl+C, and the service control manager (install, start,
# stop, removal). Prints PASS/FAIL lines and "N passed, M failed"; the exit
# status is non-zero when a check failed.
#
#   tests/wine/host_test.sh [windows-bin-dir]   (default: build/windows/bin;
#                                                a build directory works too)
#
# Wine's service manager never sends the shutdown and preshutdown controls;
# that path is covered in-process by service_tests.exe.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=lib.sh
source "$ROOT/tests/wine/lib.sh"
BIN=$(cd "${1:-$ROOT/build/windows/bin}" && pwd) || exit 2
[ -f "$BIN/zeps.exe" ] || BIN=$BIN/bin
# Always a prefix of its own, even under a caller's: the service is
# installed in the prefix's service manager, which starts automatic
# services again with every new session, so a run that fails half-way must
# not leave one holding the service's ports for the tests that follow.
zep_begin own

# An installation directory: the program, its library and a status.bat that
# records every status record it is started with.
# A blank in the path: the registered command line must quote it.
D="$W/ZEP dir"
zep_install "$D"
# Each record goes to a file named after its number: records started at the
# same moment (a start without ZEP.conf also reports the installation
# problem) cannot share one log, as cmd opens it exclusively and the loser's
# line is lost.
mkdir -p "$D/status"
printf '@echo off\r\n>> "%%~dp0status\\%%~2.txt" echo %%1 %%2 [%%~3] [%%~4]\r\n' >"$D/status.bat"
zep_keep "$D/status"

status_log() { cat "$D"/status/*.txt 2>/dev/null; }
status_clear() { rm -f "$D"/status/*.txt; }
log_has() { status_log | grep -q "$1"; }
sc_state() { w sc query zeps 2>/dev/null | tr -d '\r' | grep -q "STATE *: $1 "; }
sc_gone() { ! w sc query zeps >/dev/null 2>&1; }

zep_wine_session

# --- usage -----------------------------------------------------------------
EXPECTED_USAGE=$(printf 'zeps -setup  to setup the event message\nzeps -remove to remove the event message')
(cd "$D" && w ./zeps.exe >"$W/usage.out" 2>"$W/usage.err")
check "no arguments: exit code 1" test $? -eq 1
check "no arguments: the usage lines" test "$(tr -d '\r' <"$W/usage.out")" = "$EXPECTED_USAGE"
(cd "$D" && w ./zeps.exe -bogus >"$W/bogus.out" 2>&1)
check "unknown option alone: exit code 1" test $? -eq 1

# --- console mode -----------------------------------------------------------
status_clear
zeps_debug_start "$D" 120 debug
check "console: Start Service announced" wait_for 30 log_has '^1 100 \[Start Service\] \[ZEPVersion Information\]'
check "console: six workers on 60059..60054" wait_for 10 worker_ports_all_taken
check "console: running reported" grep -q 'OutputDebugStringA "ServiceStatusUpdate - dwState:00000004"' "$W/debug.err"
zeps_stop
check "console: Ctrl+C ends it with exit code 0" test "$ZEPS_RC" -eq 0
check "console: Stop Service announced" wait_for 20 log_has '^1 101 \[Stop Service\]'
check "console: stopped reported last" grep -q 'ServiceStatusUpdate - dwState:00000001' "$W/debug.err"
check "console: ports released" worker_ports_free

# --- service control manager -----------------------------------------------
status_clear
(cd "$D" && w ./zeps.exe -setup >"$W/setup.out" 2>&1)
check "-setup: exit code 0" test $? -eq 0
check "-setup: nothing printed" test ! -s "$W/setup.out"
check "sc query: installed and stopped" sc_state 1
w reg query 'HKLM\System\CurrentControlSet\Services\zeps' >"$W/service-key.out" 2>&1
check "-setup: the path is quoted in the command line" grep -q 'ImagePath.*"Z:.*\\ZEP dir\\zeps\.exe" -service' "$W/service-key.out"
check "-setup: it depends on Tcpip" grep -q 'DependOnService.*Tcpip' "$W/service-key.out"
check "-setup: automatic start" grep -qE 'Start +REG_DWORD +0x2' "$W/service-key.out"
check "-setup: errors ignored" grep -qE 'ErrorControl +REG_DWORD +0x0' "$W/service-key.out"
check "-setup: own process" grep -qE 'Type +REG_DWORD +0x10' "$W/service-key.out"
(cd "$D" && w ./zeps.exe -setup >"$W/setup2.out" 2>&1)
check "-setup again: success" test $? -eq 0
w net start zeps >"$W/netstart.out" 2>&1
check "net start zeps" test $? -eq 0
check "sc query: RUNNING" wait_for 20 sc_state 4
check "service: Start Service announced from its own directory" wait_for 20 log_has '^1 100 \[Start Service\]'
check "service: six workers on 60059..60054" wait_for 10 worker_ports_all_taken
w sc stop zeps >"$W/scstop.out" 2>&1
check "sc stop zeps" test $? -eq 0
check "sc query: STOPPED" wait_for 30 sc_state 1
check "service: Stop Service announced" wait_for 20 log_has '^1 101 \[Stop Service\]'
check "service: ports released" wait_for 10 worker_ports_free
(cd "$D" && w ./zeps.exe -remove >"$W/remove.out" 2>&1)
check "-remove: exit code 0" test $? -eq 0
check "sc query: removed" sc_gone
(cd "$D" && w ./zeps.exe -remove >"$W/remove2.out" 2>&1)
check "-remove of a missing service: exit code 1" test $? -eq 1
check "-remove of a missing service: the usage" test "$(tr -d '\r' <"$W/remove2.out")" = "$EXPECTED_USAGE"

# Removal of a running service stops it without waiting and deletes it.
status_clear
(cd "$D" && w ./zeps.exe /SETUP >"$W/setup3.out" 2>&1)
w net start zeps >>"$W/netstart.out" 2>&1
check "second start: RUNNING" wait_for 20 sc_state 4
(cd "$D" && w ./zeps.exe -remove >"$W/remove3.out" 2>&1)
check "-remove while running: exit code 0" test $? -eq 0
check "-remove while running: stopped and gone" wait_for 30 sc_gone
check "-remove while running: Stop Service announced" wait_for 20 log_has '^1 101 \[Stop Service\]'

# --- the service option by hand ---------------------------------------------
# Wine's dispatcher gives up only after about 10 s.
(cd "$D" && TMO=90 w ./zeps.exe -service >"$W/byhand.out" 2>&1)
check "-service by hand: exit code 1" test $? -eq 1
check "-service by hand: the usage" test "$(tr -d '\r' <"$W/byhand.out")" = "$EXPECTED_USAGE"

if [ "$FAIL" -ne 0 ]; then
  echo "--- status records"
  status_log
fi
zep_finish
