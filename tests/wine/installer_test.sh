#!/usr/bin/env bash
# The installer under Wine, on an Xvfb display of its own, in a prefix of
# its own. First action.dll's AppClose, called as the installer calls it
# (action_probe.exe): a running tray window is closed and its program has
# ended when AppClose returns, also when the program takes its time to end
# after its window is gone; an empty property and a name that matches no
# window return at once; a window that never closes holds AppClose for its
# bound only (test_window.exe shows these two, which the tray cannot).
# Then the build's package, zep-<version>-x64.msi: "msiexec /i /qn"
# installs every file, registers and starts the service and starts the
# tray; after the user edited ZEP.conf and a script, a newer package (the
# same files, a higher version, one script more, a changed zeps.exe, made
# with installer/make_msi.sh like the build's) keeps both edits, adds the
# new script and runs the new service; "msiexec /x /qn" closes the tray,
# removes the service and leaves no program file behind. A screenshot of
# Add/Remove Programs lands in <windows-bin-dir>/../installer-screenshots.
#
#   tests/wine/installer_test.sh <windows-bin-dir> [native-bin-dir]
#
# Prints PASS/FAIL lines and "N passed, M failed"; exits non-zero when
# anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs no-native "$@"

MSI=$(ls "$BIN"/../zep-*-x64.msi 2>/dev/null | head -1)
ICON=$BIN/../tray/icons/icon400.ico
if [ ! -f "$BIN/action_probe.exe" ] || [ ! -f "$BIN/zepg.exe" ] || [ -z "$MSI" ]; then
  echo "SKIP: action.dll, zepg.exe or the package is not built"
  zep_finish
  exit
fi
# The installed service and tray use them; a stranger would answer.
zep_need_free_ports
# A prefix of its own: the package registers an automatic service, which
# every later session of the prefix would start again.
zep_begin own

# --- the display ------------------------------------------------------------

check "a free display" zep_pick_display 72
check "Xvfb on $DISPLAY" zep_xvfb
zep_wine_session

# --- action.dll ---------------------------------------------------------------

# probe <name> AppOpen|AppClose <text>: the action's report in $W/<name>.out
# ("result=0 ms=... window=... process=...").
probe() {
  (cd "$BIN" && w ./action_probe.exe action.dll "$2" "$3" >"$W/$1.out" 2>&1)
}
reported() { grep -q "$2" "$W/$1.out"; }
# took_ms <name> <min> <max>: the action took at least min and below max.
took_ms() {
  local ms
  ms=$(sed -n 's/.* ms=\([0-9]*\) .*/\1/p' "$W/$1.out")
  [ -n "$ms" ] && [ "$ms" -ge "$2" ] && [ "$ms" -lt "$3" ]
}
window_up() { (cd "$BIN" && w ./action_probe.exe find >/dev/null 2>&1); }
# window <test_window options...>: a window "zepg" in the background.
WINDOW_PID=
window() {
  (cd "$BIN" && exec timeout 120 wine ./test_window.exe "$@") >>"$W/window.out" 2>&1 &
  WINDOW_PID=$!
  zep_helper "$WINDOW_PID"
  wait_for 20 window_up
}

(cd "$BIN" && exec timeout 120 wine ./zepg.exe) >>"$W/tray.out" 2>&1 &
zep_helper $!
check "the tray's window is there" wait_for 20 window_up
probe close AppClose zepg
check "AppClose zepg: result 0, window gone, program ended" \
  reported close 'result=0 .* window=none process=ended'

# A program that ends 1.5 s after its window is gone: AppClose waits for it.
check "a window whose program ends late" window --linger 1500
probe linger AppClose zepg
check "AppClose waits for the program to end after its window" \
  reported linger 'result=0 .* window=none process=ended'
check "...which took the 1.5 s the program took" took_ms linger 1400 5000

# at_once <name>: result 0 within half a second.
at_once() { reported "$1" 'result=0 ' && took_ms "$1" 0 500; }
probe empty AppClose ""
check "AppClose with an empty property: result 0 at once" at_once empty
probe nomatch AppClose "no such window"
check "AppClose matching no window: result 0 at once" at_once nomatch
probe open_empty AppOpen ""
check "AppOpen with an empty property: result 0 at once" at_once open_empty
check "...and nothing started" not wait_for 2 window_up

# A window that never closes: AppClose gives up after its 5 s bound.
check "a window that never closes" window --ignore-close
probe stubborn AppClose zepg
check "AppClose gives up on a window that never closes" \
  reported stubborn 'result=0 .* window=found'
check "...after its bound of 5 s" took_ms stubborn 4900 7000
zep_signal_until_gone TERM "$WINDOW_PID"
check "the stubborn window is gone" wait_for 10 not window_up

# --- the packages ------------------------------------------------------------

# The laid-out bin folder as the package takes it: the five programs,
# ZEP.conf, the message files, the scripts and ReadMe.txt (and the
# package's own custom action).
stage() {
  local dir=$1 file
  mkdir -p "$dir"
  for file in zeps.exe serlink32.dll zepe.exe zepg.exe action.dll \
    service_stop.dll ZEP.conf ReadMe.txt \
    level.msg category.msg status.msg event.msg meter.msg \
    level_en.msg category_en.msg status_en.msg event_en.msg meter_en.msg; do
    cp "$BIN/$file" "$dir/"
  done
  cp "$BIN"/*.bat "$dir/"
}
VERSION=$(msiinfo export "$MSI" Property | tr -d '\r' |
  awk -F'\t' '$1 == "ProductVersion" { print $2 }')
# The newer version: the third number one higher (Windows Installer
# compares the first three).
NEWER=$(echo "$VERSION" | awk -F. -v OFS=. '{ $3 = $3 + 1; print }')
stage "$W/v1"
stage "$W/v2"
printf '@echo off\r\nrem a script the older version did not have\r\n' >"$W/v2/added.bat"
# A changed program: bytes after the image, which the loader ignores.
printf 'newer build' >>"$W/v2/zeps.exe"
bash "$ROOT/installer/make_msi.sh" "$W/v2" "$NEWER" "$ICON" "$W/zep-v2.msi" >"$W/make-v2.log" 2>&1
check "make_msi.sh: the package of $NEWER" test -s "$W/zep-v2.msi"

# The tray's actions run deferred and as the installing user (DLL 1 +
# ignore result 0x40 + in-script 0x400, without no-impersonate 0x800), so
# that they see and start the user's own tray; the service's stop runs as
# the system (0x800 set).
msiinfo export "$MSI" CustomAction | tr -d '\r' >"$W/custom-actions.out"
action_type() { awk -F'\t' -v a="$1" -v t="$2" '$1 == a && $2 == t { f = 1 } END { exit !f }' "$W/custom-actions.out"; }
as_the_user() { action_type AppOpen 1089 && action_type AppClose 1089; }
check "AppOpen and AppClose: deferred, impersonating the user" as_the_user
check "StopServiceAndWait: deferred, as the system" action_type StopServiceAndWait 3137

PF="$WINEPREFIX/drive_c/Program Files/ZEP"
sc_state() { w sc query zeps 2>/dev/null | tr -d '\r' | grep -q "STATE *: $1 "; }
sc_gone() { ! w sc query zeps >/dev/null 2>&1; }
reg_show() { w reg query "$1" /s 2>/dev/null | tr -d '\r'; }
# same_files <dir>: every file of the staged folder is installed unchanged
# (but the package's own custom action).
same_files() {
  local file
  for file in "$1"/*; do
    [ "$(basename "$file")" = service_stop.dll ] && continue
    cmp -s "$file" "$PF/$(basename "$file")" || { echo "differs: $file"; return 1; }
  done
}
# The tray program's process, by the window's owner.
tray_pid() { (cd "$BIN" && w ./action_probe.exe find 2>/dev/null) | tr -d '\r' | sed -n 's/.*pid=//p'; }
# Whether a Linux process maps the installed zeps.exe as it is on disk now
# (a program replaced under a running process shows as "(deleted)").
runs_installed_service() {
  local maps
  for maps in /proc/[0-9]*/maps; do
    grep -F "/Program Files/ZEP/zeps.exe" "$maps" 2>/dev/null | grep -vq '(deleted)' && return 0
  done
  return 1
}
arp() { reg_show 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' >"$W/arp-$1.out"; }

# --- install -------------------------------------------------------------------

w msiexec /i "$MSI" /qn /l*v "$W/msi-install.log"
check "msiexec /i: exit code 0" test $? -eq 0
check "every file installed unchanged" same_files "$W/v1"
check "the shipped ZEP.conf also in defaults" cmp -s "$W/v1/ZEP.conf" "$PF/defaults/ZEP.conf"
check "sc query: RUNNING" wait_for 20 sc_state 4
reg_show 'HKLM\System\CurrentControlSet\Services\zeps' >"$W/service-key.out"
# registered <value pattern...>: each a line of the service's key.
registered() {
  local line
  for line in "$@"; do grep -qE "^ +$line\$" "$W/service-key.out" || return 1; done
}
check "service: ZEP Service, own process, automatic, errors ignored" \
  registered 'DisplayName +REG_SZ +ZEP Service' 'Type +REG_DWORD +0x10' \
  'Start +REG_DWORD +0x2' 'ErrorControl +REG_DWORD +0x0'
check "service: depends on Tcpip, started with -service" \
  registered 'DependOnService +REG_MULTI_SZ +Tcpip' \
  'ImagePath +REG_SZ +"?C:.Program Files.ZEP.zeps\.exe"? -service'
check "the service announced its start in zep.log" wait_for 20 grep -q 'Start Service' "$PF/zep.log"
check "AppOpen started the tray" wait_for 20 window_up
TRAY1=$(tray_pid)
reg_show 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' >"$W/run.out"
check "the tray starts at every logon" grep -qF 'ZEP    REG_SZ    "C:\Program Files\ZEP\zepg.exe"' "$W/run.out"
# listed <when> <version>: Add/Remove Programs has one ZEP, of that version.
listed() {
  [ "$(grep -cE ' DisplayName +REG_SZ +ZEP$' "$W/arp-$1.out")" -eq 1 ] &&
    grep -qE " DisplayVersion +REG_SZ +$2\$" "$W/arp-$1.out"
}
arp install
check "Add/Remove Programs: ZEP $VERSION" listed install "$VERSION"
reg_show 'HKLM\Software\Classes\Installer\Products' >"$W/products.out"
icon=$(sed -n 's/.*ProductIcon *REG_SZ *C:\\\(.*\)$/\1/p' "$W/products.out" | tr '\\' /)
check "Add/Remove Programs: the product's icon" cmp -s "$ICON" "$WINEPREFIX/drive_c/$icon"
check "...also as the entry's DisplayIcon, the tray's" \
  grep -qF 'DisplayIcon    REG_SZ    C:\Program Files\ZEP\zepg.exe,0' "$W/arp-install.out"
# What a person sees there: ZEP with its publisher, version and icon.
SHOTS=$BIN/../installer-screenshots
mkdir -p "$SHOTS"
(exec timeout 60 wine control appwiz.cpl) >"$W/appwiz.out" 2>&1 &
zep_helper $!
if wait_for 20 xdotool search --name 'Add/Remove Programs' >/dev/null 2>&1; then
  sleep 1
  import -window root -crop 585x450+0+0 +repage -colors 64 \
    "PNG8:$SHOTS/add-remove-programs.png" 2>>"$W/shots.log"
fi
check "a screenshot of Add/Remove Programs" test -s "$SHOTS/add-remove-programs.png"

# --- upgrade -------------------------------------------------------------------

printf 'ZEP_PF_WAIT=123\r\n' >>"$PF/ZEP.conf"
printf 'rem edited by the user\r\n' >>"$PF/event.bat"
cp "$PF/ZEP.conf" "$W/edited-ZEP.conf"
cp "$PF/event.bat" "$W/edited-event.bat"
w msiexec /i "$W/zep-v2.msi" /qn /l*v "$W/msi-upgrade.log"
check "upgrade: exit code 0" test $? -eq 0
check "upgrade: the edited ZEP.conf kept" cmp -s "$W/edited-ZEP.conf" "$PF/ZEP.conf"
check "upgrade: the edited event.bat kept" cmp -s "$W/edited-event.bat" "$PF/event.bat"
check "upgrade: the script the old version lacked added" cmp -s "$W/v2/added.bat" "$PF/added.bat"
# same_as <dir> <files...>: the installed files are those of the folder.
same_as() {
  local dir=$1 file
  shift
  for file in "$@"; do cmp -s "$W/v2/$file" "$PF/$dir$file" || return 1; done
}
check "upgrade: the programs replaced" \
  same_as "" zeps.exe serlink32.dll zepe.exe zepg.exe action.dll
check "upgrade: the shipped versions in defaults" \
  same_as defaults/ ZEP.conf event.bat added.bat
check "upgrade: the service RUNNING" wait_for 20 sc_state 4
check "upgrade: the running service is the new zeps.exe" wait_for 20 runs_installed_service
another_tray() {
  local pid
  pid=$(tray_pid)
  [ -n "$pid" ] && [ "$pid" != "$TRAY1" ]
}
check "upgrade: the tray closed and started again" wait_for 20 another_tray
arp upgrade
check "Add/Remove Programs: only ZEP $NEWER" listed upgrade "$NEWER"

# --- removal -------------------------------------------------------------------

w msiexec /x "$W/zep-v2.msi" /qn /l*v "$W/msi-remove.log"
check "msiexec /x: exit code 0" test $? -eq 0
check "removal: the tray closed" not window_up
check "removal: the service stopped and removed" wait_for 20 sc_gone
check "removal: the service's program no longer runs" not runs_installed_service
# What stays: the user's ZEP.conf and scripts, and the log the scripts wrote.
left=$(cd "$PF" 2>/dev/null && find . -mindepth 1 | sed 's#^\./##' | grep -vxE 'ZEP\.conf|[a-z]+\.bat|zep\.log' | tr '\n' ' ')
check "removal: no program file left [${left}]" test -z "$left"
check "removal: the edited ZEP.conf stays" cmp -s "$W/edited-ZEP.conf" "$PF/ZEP.conf"
reg_show 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' >"$W/run-after.out"
check "removal: no logon start left" not grep -q 'zepg' "$W/run-after.out"
arp remove
check "removal: gone from Add/Remove Programs" not grep -qE ' DisplayName +REG_SZ +ZEP$' "$W/arp-remove.out"

zep_finish
