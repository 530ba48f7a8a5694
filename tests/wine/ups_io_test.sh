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
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs native "$@"
zep_begin caller

check "upssim exists in the native bin directory" test -x "$NATIVE/upssim"
check "text simulator ready" sim_start text --protocol text
check "binary simulator ready" sim_start binary --protocol binary

zep_wine_session
zep_map_com 1 "$W/tty-text"
zep_map_com 2 "$W/tty-binary"
check "COM1 points at the text simulator" com_points_at 1 "$W/tty-text"
check "COM2 points at the binary simulator" com_points_at 2 "$W/tty-binary"

export ZEP_TEST_TEXT_UPS='\\.\COM1'
export ZEP_TEST_BINARY_UPS='\\.\COM2'
gtest_run service_tests.exe --gtest_filter='UpsIo*:ExternalWorker*:WorkerPorts*'
LOG=$W/service_tests.log
check "service_tests.exe passes against COM1 and COM2 (rc $GTEST_RC)" \
  test "$GTEST_RC" -eq 0
check "no test was skipped" gtest_none_skipped "$LOG"
check "the text UPS test ran" \
  gtest_passed "$LOG" UpsIoLineTest.TextUpsAnswersForItself
check "the binary UPS test ran" \
  gtest_passed "$LOG" UpsIoLineTest.BinaryUpsGetsTheAnswersATextUpsWouldGive
check "the text UPS saw Q1" grep -q 'rx "Q1\\r"' "$W/sim-text.log"
# The probe: the identification request AB 01 31 23 and a CR.
check "the binary UPS saw the probe" grep -q 'rx AB 01 31 23' "$W/sim-binary.log"
check "no request reached a UPS at a wrong speed" \
  not grep -q 'not answered' "$W/sim-text.log" "$W/sim-binary.log"
gtest_totals "$LOG"

zep_finish
