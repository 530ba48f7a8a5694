#!/usr/bin/env bash
# The tray program zepg.exe under Wine, on a virtual desktop of an Xvfb
# display of its own, end to end against zeps.exe and the simulator (a text
# UPS on COM1): the tray learns the model, shows Information, a Caution
# balloon with the category text when the mains fails, Information again
# when it returns, "Communication abnormal" when the service stops and the
# model again when it comes back; the menu (right click) and its System
# Information balloon; the double click running dblclk.bat; a second start
# that ends at once. A stand-in for the service's external port
# (tray_fake_service.py) then gives the Fault state, which the simulator
# cannot raise; a "TaskbarCreated" broadcast adds the icon again; "Close"
# in the menu ends the tray and removes its icon. Last the Japanese
# resources (looked up by language), and the tray in Japanese, closed by
# WM_CLOSE as the installer closes it.
#
#   tests/wine/tray_test.sh <windows-bin-dir> <native-bin-dir>
#
# The screenshots land in <windows-bin-dir>/../tray-screenshots; the README
# shows copies of them kept in docs/screenshots. The display is the first
# free one from :71 up (each held by a lock file for the run). Uses the
# Wine prefix of the caller when WINEPREFIX is set, else a throw-away
# prefix. Prints PASS/FAIL lines and "N passed, M failed"; exits non-zero
# when anything failed.
set -uo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$HERE/lib.sh"
zep_bin_dirs native "$@"

if [ ! -f "$BIN/zepg.exe" ] || [ ! -f "$BIN/tray_probe.exe" ]; then
  echo "SKIP: zepg.exe is not built"
  zep_finish
  exit
fi
# The tray always asks port 60055; another service there would answer.
zep_need_free_ports
zep_begin caller
SHOTS=$BIN/../tray-screenshots
mkdir -p "$SHOTS"

# --- the display ------------------------------------------------------------

check "a free display" zep_pick_display 71
check "Xvfb on $DISPLAY" zep_xvfb

# The virtual desktop fills the top left 800x600 of the screen. The icon
# sits at the right end of its taskbar, the balloons and the menu above it;
# the menu keeps to the screen, so its entries have fixed places.
ICON_X=790
ICON_Y=590
MENU_X=720
MENU_SYSTEM_Y=491
MENU_CLOSE_Y=568

# shot <name>: the bottom right of the desktop as a small PNG. Wine draws a
# balloon 2 s after it was asked for.
shot() {
  sleep "${2:-0}"
  import -window root -crop 440x140+360+460 +repage -colors 64 \
    "PNG8:$SHOTS/$1.png" 2>>"$W/shots.log"
}
# Whether the icon's place on the taskbar holds anything but the taskbar.
icon_shown() {
  local colours
  colours=$(import -window root -crop 14x14+783+583 +repage -format '%k' \
    info: 2>>"$W/shots.log")
  [ "${colours:-1}" -gt 1 ]
}
# The pointer off the icon, so that no tooltip hides what is shown.
pointer_away() { xdotool mousemove 400 200; }

# --- the installation and the service ---------------------------------------

D=$W/zep
zep_install "$D"
cp "$BIN/zepg.exe" "$BIN/tray_probe.exe" "$BIN"/*.msg "$D/"
zep_recording_bats "$D" status event powerfail emergency powerrecovery \
  temperature overload meter exec
printf '@echo off\r\necho clicked>> "%%~dp0dblclk.txt"\r\n' >"$D/dblclk.bat"
conf() {
  { printf '[PRODUCT]\r\nZEP_VERSION=1.1.0.2\r\n[CONFIG]\r\n'
    printf '%s\r\n' ZEP_MAX_PORT=1 ZEP_MON_CYCLE=200 ZEP_GUI_CYCLE=1000 \
      ZEP_POPUP=1 "$@"; } >"$D/ZEP.conf"
}
conf ZEP_LANG=en

check "simulator ready" sim_start ups --baud 19200
zep_wine_session
zep_map_com 1 "$W/tty-ups"
zeps_debug_start "$D" 600 zeps
check "UPS identified" wait_for 90 script_ran 'status 1 120 .*'

# --- helpers for the tray ---------------------------------------------------

# tray_start <log name> <desktop> [env...]: zepg.exe on a virtual desktop;
# its debug lines in $W/<log name>.err.
tray_start() {
  local name=$1 desktop=$2
  shift 2
  (
    cd "$D" || exit 2
    exec env WINEDEBUG=-all,+debugstr "$@" \
      timeout 600 wine explorer "/desktop=$desktop,800x600" zepg.exe
  ) >"$W/$name.out" 2>"$W/$name.err" &
  zep_helper $!
}
# probe <command> [args]: tray_probe.exe on the tray's desktop; its answer
# in $D/probe.txt.
DESKTOP=zep
probe() {
  rm -f "$D/probe.txt"
  (cd "$D" && TMO=30 w explorer "/desktop=$DESKTOP,800x600" tray_probe.exe \
    "$@" probe.txt >>"$W/probe.out" 2>&1)
  wait_for 15 test -s "$D/probe.txt"
}
probe_says() { grep -qx -- "$1" "$D/probe.txt" 2>/dev/null; }

# traced <n> <regex>: the tray wrote a line matching it n times or more.
LOG=$W/tray.err
traced() { [ "$(grep -cE -- "$2" "$LOG")" -ge "$1" ]; }
count_of() { grep -cE -- "$1" "$LOG"; }
# The tray's own balloon time-out (10 s), reported on its callback message.
BALLOON_END='MSG:00008001 WPARAM:00000001 LPARAM:00000404'
WHEN='[0-9]+/[0-9]+/[0-9]+ [0-9]+:[0-9]+'

# --- English, against the service -------------------------------------------

tray_start tray $DESKTOP
check "the icon is added" wait_for 30 traced 1 'NIM_ADD -> 1'
check "the model is announced" \
  wait_for 30 traced 1 'Balloon:1:UPS Model:T-PWR'
shot tray-model 2.5
check "Information after the first pass" \
  wait_for 20 traced 1 'MSG:00000111 WPARAM:000B0001 '
check "the icon shows Information" wait_for 10 traced 1 'Icon:401'
check "a balloon that is up is not replaced, the icon flashes instead" \
  traced 1 'Balloon refused'
check "the model balloon ends by its time-out" \
  wait_for 20 traced 1 "$BALLOON_END"
check "then the tooltip shows the last event" \
  wait_for 5 traced 1 "Tip:$WHEN Normal operation"

# A second start in the session ends at once and adds no icon.
(cd "$D" && WINEDEBUG=-all,+debugstr TMO=30 w explorer \
  "/desktop=$DESKTOP,800x600" zepg.exe >"$W/second.out" 2>"$W/second.err")
check "a second start ends and adds no icon" not grep -q 'NIM_ADD' \
  "$W/second.err"
check "one tray window" probe find
check "the first tray still runs" probe_says window

check "simulator on battery" sim_set ups mains-failure
check "a Caution balloon with the category text" \
  wait_for 30 traced 1 "Balloon:2:Caution:$WHEN Mains failure"
check "the icon shows Caution" traced 1 'Icon:402'
shot tray-caution 2.5

check "the balloon cleared (command 310)" probe clear
check "simulator on mains" sim_set ups normal
check "an Information balloon" \
  wait_for 30 traced 1 "Balloon:4:Information:$WHEN Normal operation"
shot tray-information 2.5

# The service stops: one notice of category 102, then the tray asks for
# the model again.
probe clear
zeps_stop
check "the lost service is reported" \
  wait_for 20 traced 1 'MSG:00000111 WPARAM:0066FFFF LPARAM:00000000'
check "Communication abnormal: an error balloon" \
  wait_for 10 traced 1 "Balloon:3:Fault:$WHEN Service not responding"
check "the icon shows Communication abnormal" traced 1 'Icon:404'
shot tray-no-communication 2.5
check "one notice per loss" test "$(count_of 'WPARAM:0066FFFF')" -eq 1

# The service comes back: the model again, then the summary even though
# it equals the one shown before the loss.
probe clear
zeps_debug_start "$D" 600 zeps2
check "the model is announced again" \
  wait_for 90 traced 2 'Balloon:1:UPS Model:T-PWR'
check "the same summary is shown again" wait_for 20 traced 3 'Icon:401'

# The menu: right click on the icon, then "System Information".
probe clear
xdotool mousemove $ICON_X $ICON_Y click 3
pointer_away
check "the menu opens on WM_CONTEXTMENU" \
  wait_for 10 traced 1 'LPARAM:0000007B'
shot tray-menu 1
xdotool mousemove $MENU_X $MENU_SYSTEM_Y click 1
pointer_away
check "System Information from the service" \
  wait_for 20 traced 1 'Balloon:1:System Information:Model : T-PWR'
shot tray-system-information 2.5

xdotool mousemove $ICON_X $ICON_Y click --repeat 2 --delay 80 1
pointer_away
check "a double click runs dblclk.bat" wait_for 20 test -s "$D/dblclk.txt"

# The Fault state, from the stand-in for the service's port.
zeps_stop
check "the second loss is reported" \
  wait_for 20 traced 2 'WPARAM:0066FFFF'
probe clear
echo none >"$W/fake.state"
python3 "$HERE/tray_fake_service.py" "$W/fake.state" "$W/fake.log" 150 &
zep_helper $!
check "the stand-in's model" \
  wait_for 20 traced 1 'Balloon:1:UPS Model:ZEP-FAKE 1500'
probe clear
echo '3 29' >"$W/fake.state"
check "a Fault balloon" wait_for 20 traced 1 "Balloon:3:Fault:$WHEN UPS fault"
check "the icon shows Fault" traced 1 'Icon:403'
shot tray-fault 2.5

# "TaskbarCreated": the probe takes the icon away, as an Explorer restart
# does, and the tray adds it again.
probe taskbar
check "TaskbarCreated broadcast" probe_says sent
check "the icon is added again" wait_for 20 traced 2 'NIM_ADD -> 1'
check "the icon is back on the taskbar" wait_for 10 icon_shown

# "Close" in the menu ends the tray and removes its icon.
probe clear
xdotool mousemove $ICON_X $ICON_Y click 3
pointer_away
check "the menu opens again" wait_for 10 traced 2 'LPARAM:0000007B'
sleep 1
xdotool mousemove $MENU_X $MENU_CLOSE_Y click 1
pointer_away
check "Close ends the tray" wait_for 15 eval 'probe find && probe_says "no window"'
check "the icon is gone" wait_for 10 not icon_shown

# --- Japanese ---------------------------------------------------------------

probe resources zepg.exe
check "English strings and menu" eval \
  'probe_says "1033 113 UPS Model" && probe_says "1033 menu Caution (14 entries)"'
check "Japanese strings: title and tip" eval \
  'probe_says "1041 103 zepg" && probe_says "1041 104 ZEP"'
check "Japanese strings: the model title" probe_says '1041 113 UPS型式'
check "Japanese menu" probe_says '1041 menu 注意 (14 entries)'

# The tray in Japanese: a user interface language of 1041 comes from a
# Japanese locale (Wine takes it from there), without ZEP_LANG the files
# without suffix in code page 932 are read. A desktop of its own, so that
# its shell draws with the Japanese fonts too.
conf
make_locale() {
  mkdir -p "$W/locale"
  localedef -i ja_JP -f UTF-8 "$W/locale/ja_JP.UTF-8" >"$W/localedef.log" 2>&1 ||
    test -f "$W/locale/ja_JP.UTF-8/LC_CTYPE"
}
check "a Japanese locale" make_locale
echo '2 21' >"$W/fake.state"
DESKTOP=ja
LOG=$W/tray-ja.err
tray_start tray-ja $DESKTOP LOCPATH="$W/locale" LANG=ja_JP.UTF-8
check "Japanese: the model title" \
  wait_for 30 traced 1 'Balloon:1:UPS\\xe5\\x9e\\x8b\\xe5\\xbc\\x8f:ZEP-FAKE'
shot tray-ja-model 2.5
probe clear
touch "$W/fake.state"
# "停電" (mains failure) from category.msg, in code page 932.
check "Japanese: the category text" wait_for 20 traced 1 \
  'Balloon:2:.*\\xe5\\x81\\x9c\\xe9\\x9b\\xbb'
shot tray-ja-caution 2.5
probe clear
xdotool mousemove $ICON_X $ICON_Y click 3
pointer_away
check "Japanese: the menu opens" wait_for 10 traced 1 'LPARAM:0000007B'
shot tray-ja-menu 1
xdotool key Escape
xdotool mousemove 300 300 click 1
probe close
check "WM_CLOSE ends the tray" probe_says ended
check "and removes the icon" wait_for 10 not icon_shown

zep_finish
