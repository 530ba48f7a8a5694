#!/usr/bin/env bash
# The NUT protocol server of zeps.exe under Wine, read by Debian's Linux
# upsc over loopback: zeps.exe -debug with ZEP_NUT_LISTEN=127.0.0.1 in a
# scratch installation, COM1 mapped to a native upssim (a text UPS at
# 19200 bps). upsc lists the simulator's values, and the status follows a
# mains failure.
#
#   tests/wine/nut_test.sh <windows-bin-dir> <native-bin-dir>
#
# Uses the Wine prefix of the caller when WINEPREFIX is set, else a
# throw-away prefix of its own. Prints PASS/FAIL lines and "N passed, M
# failed"; exits non-zero when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs native "$@"

if ! command -v upsc >/dev/null; then
  echo "SKIP: upsc (Debian's nut-client) is not installed; scripts/setup.sh installs it"
  exit 0
fi
if port_taken 3493 tcp; then
  echo "SKIP: another program holds TCP port 3493; this test needs it for itself"
  exit 0
fi

zep_begin caller

D=$W/zep
zep_install "$D"
zep_recording_bats "$D" status
zep_conf "$D" ZEP_MAX_PORT=1 ZEP_MON_CYCLE=20 ZEP_NUT_LISTEN=127.0.0.1

check "simulator ready" sim_start ups --baud 19200
zep_wine_session
zep_map_com 1 "$W/tty-ups"
zeps_debug_start "$D" 300 zeps

check "polled once: Rated Information record" \
  wait_for 90 script_ran 'status 1 120 Rated Information 1500VA 1500W 100V'
check "the server traced its address" \
  grep -q 'NUT server: listening on 127.0.0.1 port 3493' "$W/zeps.err"

# upsc_says <expected> <upsc arguments...>: upsc's output (without the
# line its TLS library prints on standard error) is the text.
upsc_says() {
  local expected=$1
  shift
  timeout 20 upsc "$@" >"$W/upsc.out" 2>/dev/null
  [ "$(cat "$W/upsc.out")" = "$expected" ]
}
LIST='battery.charge: 100
battery.voltage: 27.5
device.model: T-PWR15J1
device.type: ups
driver.name: zeps
input.frequency: 50.0
input.voltage: 101.0
input.voltage.nominal: 100
output.frequency: 50.0
output.voltage: 100.0
output.voltage.nominal: 100
ups.firmware: 1.2
ups.load: 35
ups.model: T-PWR15J1
ups.power: 500
ups.power.nominal: 1500
ups.realpower.nominal: 1500
ups.status: OL
ups.temperature: 25.0'
check "upsc lists the simulator's values" wait_for 30 upsc_says "$LIST" zep@127.0.0.1
cp "$W/upsc.out" "$W/upsc-list.out"

check "simulator on battery" sim_set ups mains-failure
check "upsc: on battery" wait_for 30 upsc_says OB zep@127.0.0.1 ups.status

zeps_stop
check "Ctrl+C ends it with exit code 0 (rc $ZEPS_RC)" test "$ZEPS_RC" -eq 0

zep_finish
