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
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs no-native "$@"
zep_begin caller

LINK="$W/ttyZEP"
python3 "$HERE/pty_responder.py" "$LINK" "$W/serial-responder.log" &
zep_helper $!
check "responder made its pseudo-terminal" wait_for 5 test -L "$LINK"

zep_wine_session
zep_map_com 1 "$LINK"
check "COM1 points at the responder's terminal" com_points_at 1 "$LINK"

export ZEP_TEST_SERIAL_DEVICE='\\.\COM1'
gtest_run serial_tests.exe
LOG=$W/serial_tests.log
check "serial_tests.exe passes against COM1 (rc $GTEST_RC)" test "$GTEST_RC" -eq 0
check "no test was skipped" gtest_none_skipped "$LOG"
check "the line tests ran" \
  gtest_passed "$LOG" SerlinkLineTest.MessageProcsExchangesOneRequest
check "the handle count test ran" \
  gtest_passed "$LOG" SerlinkDllTest.ReopeningASlotKeepsNoOldHandle
check "the responder got the requests" grep -q "got b'Q1'" "$W/serial-responder.log"
gtest_totals "$LOG"

zep_finish
