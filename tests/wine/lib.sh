# shellcheck shell=bash
# The harness the black-box scripts in this folder share, sourced by each:
# the PASS/FAIL count, waiting with a deadline, the scratch directory and
# the Wine prefix, the native simulators and helpers in the background,
# COM ports, zeps.exe in console mode, installations with recording batch
# files, GoogleTest programs under Wine, and the clean-up on exit.
#
#   HERE=$(cd "$(dirname "$0")" && pwd)
#   source "$HERE/lib.sh"
#   zep_bin_dirs native "$@"     # BIN (and NATIVE) from the arguments
#   zep_begin caller             # $W, the prefix, wine_env.sh, the clean-up
#   ...checks...
#   zep_finish                   # "N passed, M failed"; the exit status
#
# The test's name (events for events_test.sh) names its scratch directory
# and its folder of logs, <windows-bin-dir>/../wine-logs/<name>.

ZEP_WINE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ZEP_TEST_NAME=$(basename "$0" .sh)
ZEP_TEST_NAME=${ZEP_TEST_NAME%_test}

# --- checks -----------------------------------------------------------------

PASS=0
FAIL=0
ok() { echo "PASS: $*"; PASS=$((PASS + 1)); }
bad() { echo "FAIL: $*"; FAIL=$((FAIL + 1)); }
# check <what> <command...>: PASS or FAIL <what> by the command's status.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
# not <command...>: succeeds when the command fails.
not() { ! "$@"; }

# wait_for <seconds> <command...>: polls every 0.2 s until the command
# succeeds; its status after the last try.
wait_for() {
  local end=$((SECONDS + $1))
  shift
  while [ "$SECONDS" -lt "$end" ]; do
    "$@" && return 0
    sleep 0.2
  done
  "$@"
}

# The closing line the test runner reads; the script's exit status.
zep_finish() {
  echo "$PASS passed, $FAIL failed"
  [ "$FAIL" -eq 0 ]
}

# --- directories, prefix and clean-up ---------------------------------------

# zep_bin_dirs <native|no-native> <args...>: BIN from the first argument;
# with "native" NATIVE from the second, which must then be given (the
# others accept it for the common calling convention and ignore it).
zep_bin_dirs() {
  local want=$1
  shift
  local usage
  usage="usage: $(basename "$0") <windows-bin-dir> <native-bin-dir>"
  [ "$want" = native ] ||
    usage="usage: $(basename "$0") <windows-bin-dir> [native-bin-dir]"
  BIN=$(cd "${1:?$usage}" && pwd) || exit 2
  if [ "$want" = native ]; then
    NATIVE=$(cd "${2:?$usage}" && pwd) || exit 2
  fi
}

ZEP_OWN_PREFIX=0
ZEPS_PID=
ZEP_HELPERS=()
ZEP_COM_MAPPED=()
ZEP_KEEP=()
ZEP_RUNS_DIR=

# zep_begin <caller|own>: the scratch directory $W, and the Wine prefix:
# with "caller" the caller's WINEPREFIX when set, else (and with "own"
# always) a fresh one in $W that is torn down on exit. Sources wine_env.sh
# and sets the clean-up.
zep_begin() {
  W=$(mktemp -d "/tmp/zep-$ZEP_TEST_NAME-wine.XXXXXX") || exit 2
  if [ "$1" = own ] || [ -z "${WINEPREFIX:-}" ]; then
    ZEP_OWN_PREFIX=1
    export WINEPREFIX="$W/pfx"
  fi
  # shellcheck source=wine_env.sh
  source "$ZEP_WINE_DIR/wine_env.sh" "$WINEPREFIX"
  trap zep_cleanup EXIT
}

# Starts the session of the prefix. The wineserver started here keeps its
# descriptors open; it gets a log of its own rather than the script's
# output.
zep_wine_session() { wine_up >>"$W/wine-session.log" 2>&1; }

# zep_keep <file...>: files outside $W copied to the logs on exit.
zep_keep() { ZEP_KEEP+=("$@"); }

# zep_helper <pid>: a native process of the test, ended on exit.
zep_helper() { ZEP_HELPERS+=("$1"); }

# Whether a process of this shell is still running (not ended, nor waiting
# to be reaped).
zep_running() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# zep_signal_until_gone <signal> <pid>: sends it and waits up to 2 s for
# the process to end.
zep_signal_until_gone() {
  kill -"$1" "$2" 2>/dev/null || return 0
  wait_for 2 not zep_running "$2"
}

zep_cleanup() {
  local pid n
  # zeps.exe left running by a failed or interrupted run: Ctrl+C first, so
  # that it leaves in order and frees its ports even in a prefix that lives
  # on, then a termination request. Both go to its time limit, which passes
  # them on; killing the time limit outright would leave the program behind.
  if [ -n "$ZEPS_PID" ]; then
    zep_signal_until_gone INT "$ZEPS_PID" ||
      zep_signal_until_gone TERM "$ZEPS_PID" ||
      kill -KILL "$ZEPS_PID" 2>/dev/null
  fi
  for pid in "${ZEP_HELPERS[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  sim_close_all
  # Leave the COM ports unmapped for whoever uses the prefix next.
  for n in "${ZEP_COM_MAPPED[@]}"; do
    wine_unmap_com "$n"
  done
  [ "$ZEP_OWN_PREFIX" = 1 ] && wine_down
  wait 2>/dev/null
  local logs="$BIN/../wine-logs/$ZEP_TEST_NAME"
  mkdir -p "$logs"
  [ -n "$ZEP_RUNS_DIR" ] && runs >"$W/runs.log"
  cp -r "$W"/*.log "$W"/*.out "$W"/*.err "${ZEP_KEEP[@]}" "$logs/" 2>/dev/null
  rm -rf "$W"
}

# --- an X display ------------------------------------------------------------

# zep_pick_display <first>: DISPLAY is the first display from :<first> up
# that no X server has and no other test run holds; its lock stays held
# until the script ends.
zep_pick_display() {
  local n fd
  for n in $(seq "$1" 120); do
    exec {fd}>"/tmp/zep-tray-display-$n.lock"
    if flock -n "$fd" && [ ! -e "/tmp/.X$n-lock" ] &&
      [ ! -e "/tmp/.X11-unix/X$n" ]; then
      export DISPLAY=:$n
      return 0
    fi
    exec {fd}>&-
  done
  return 1
}

# zep_xvfb: an Xvfb of 1024x768 on DISPLAY until the script ends; succeeds
# when it answers.
zep_xvfb() {
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$W/xvfb.log" 2>&1 &
  zep_helper $!
  wait_for 10 xdpyinfo >/dev/null 2>&1
}

# --- COM ports --------------------------------------------------------------

# zep_map_com <n> <path>: COMn of the prefix to the path (a pty link) until
# the script ends.
zep_map_com() {
  wine_map_com "$1" "$2" >>"$W/wine-session.log" 2>&1
  ZEP_COM_MAPPED+=("$1")
}

# com_points_at <n> <path>: whether Wine's device for COMn is the path.
com_points_at() { [ "$(readlink "$WINEPREFIX/dosdevices/com$1")" = "$2" ]; }

# --- the simulator ----------------------------------------------------------

# sim_start <name> [upssim options...]: a native upssim with its link at
# $W/tty-<name>, its log in $W/sim-<name>.log and its output in
# $W/sim-<name>.out; its commands go through a FIFO this script holds open
# (sim_set). Succeeds when it has said "ready" and made its link.
declare -A ZEP_SIM_FD=()
sim_start() {
  local name=$1 fd
  shift
  mkfifo "$W/sim-$name.in"
  exec {fd}<>"$W/sim-$name.in"
  ZEP_SIM_FD[$name]=$fd
  "$NATIVE/upssim" --link "$W/tty-$name" --log "$W/sim-$name.log" "$@" \
    <"$W/sim-$name.in" >"$W/sim-$name.out" 2>&1 &
  zep_helper $!
  wait_for 20 sim_ready "$name"
}
sim_ready() {
  grep -q '^ready$' "$W/sim-$1.out" 2>/dev/null && [ -L "$W/tty-$1" ]
}
# sim_set <name> <state>: the simulator's new state, once it has said so.
sim_set() {
  echo "$2" >&"${ZEP_SIM_FD[$1]}"
  wait_for 10 grep -q "^state $2\$" "$W/sim-$1.out"
}
# sim_say <name> <command>: a command the simulator repeats when done
# (cut-answers, whole-answers).
sim_say() {
  echo "$2" >&"${ZEP_SIM_FD[$1]}"
  wait_for 10 grep -q "^$2\$" "$W/sim-$1.out"
}
sim_close_all() {
  local fd
  for fd in "${ZEP_SIM_FD[@]}"; do
    exec {fd}>&- 2>/dev/null
  done
  ZEP_SIM_FD=()
}

# --- the service's ports ----------------------------------------------------

# port_taken <port> [tcp]: whether 127.0.0.1:port is taken for UDP (or
# TCP), that is a bind from the Linux side fails.
port_taken() {
  python3 - "$1" "${2:-udp}" <<'EOF'
import socket, sys
kind = socket.SOCK_STREAM if sys.argv[2] == "tcp" else socket.SOCK_DGRAM
s = socket.socket(socket.AF_INET, kind)
try:
    s.bind(("127.0.0.1", int(sys.argv[1])))
except OSError:
    sys.exit(0)
sys.exit(1)
EOF
}
ZEP_WORKER_PORTS=(60059 60058 60057 60056 60055 60054)
worker_ports_all_taken() {
  local port
  for port in "${ZEP_WORKER_PORTS[@]}"; do
    port_taken "$port" || return 1
  done
}
worker_ports_free() {
  local port
  for port in "${ZEP_WORKER_PORTS[@]}"; do
    port_taken "$port" && return 1
  done
  return 0
}

# --- installations and zeps.exe ---------------------------------------------

# zep_need_free_ports: ends the test with a SKIP line when another program
# holds the service's ports, as a stranger would answer what the test asks.
zep_need_free_ports() {
  worker_ports_free && return 0
  echo "SKIP: another program holds the service's ports 60054..60059"
  zep_finish
  exit
}

# zep_install <dir>: a scratch installation of the service and its library.
zep_install() {
  mkdir -p "$1"
  cp "$BIN/zeps.exe" "$BIN/serlink32.dll" "$1/"
}

# zep_conf <dir> <KEY=value...>: the installation's ZEP.conf.
zep_conf() {
  local dir=$1
  shift
  { printf '[CONFIG]\r\n'; printf '%s\r\n' "$@"; } >"$dir/ZEP.conf"
}

# zep_recording_bats <dir> <script names...>: a .bat for each name that
# records how it was started. Every run adds a line to a file in <dir>/runs
# named after the script and its arguments, quotes removed (runs lists the
# names, script_count counts the lines). Batch files started at the same
# moment cannot share one log: cmd opens it exclusively and the losers'
# lines are lost, so each command line writes a file of its own. The redirection comes first, so that a digit at the end of
# the arguments is never read as a handle number.
zep_recording_bats() {
  local dir=$1 name
  shift
  ZEP_RUNS_DIR=$dir/runs
  mkdir -p "$ZEP_RUNS_DIR"
  for name in "$@"; do
    printf '@echo off\r\n>> "%%~dp0runs\\%%~n0 %%~1 %%~2 %%~3 %%~4 %%~5 %%~6 %%~7 %%~8 %%~9.txt" echo %%~n0 %%*\r\n' \
      >"$dir/$name.bat"
  done
}
runs() {
  ls "$ZEP_RUNS_DIR" 2>/dev/null | sed -e 's/\.txt$//' -e 's/ *$//'
}
# script_ran <pattern>: a run whose whole line matches the pattern.
script_ran() { runs | grep -x -- "$1" >/dev/null; }
# script_count <pattern>: how many runs matched; each run adds a line to
# the file of its arguments.
script_count() {
  cat "$ZEP_RUNS_DIR"/*.txt 2>/dev/null | tr -d '\r' | sed -e 's/ *$//' |
    grep -cx -- "$1"
}

# zeps_debug_start <dir> <time limit> <log name>: zeps.exe -debug from the
# installation <dir> in the background, its debug strings on standard
# error; output in $W/<log name>.out and .err. Variables set before the
# call reach it.
zeps_debug_start() {
  (
    cd "$1" || exit 2
    export WINEDEBUG=-all,+debugstr
    exec timeout "$2" wine ./zeps.exe -debug
  ) >"$W/$3.out" 2>"$W/$3.err" &
  ZEPS_PID=$!
}
# zeps_stop: Ctrl+C to it (timeout passes the signal on, Wine turns it into
# CTRL_C_EVENT); ZEPS_RC is its exit code.
zeps_stop() {
  kill -INT "$ZEPS_PID"
  wait "$ZEPS_PID"
  # shellcheck disable=SC2034  # read by the scripts
  ZEPS_RC=$?
  ZEPS_PID=
}

# --- GoogleTest programs under Wine -----------------------------------------

# gtest_run <program.exe> [arguments...]: runs it from BIN, with up to five
# minutes, into $W/<program>.log; GTEST_RC is its exit code.
gtest_run() {
  (cd "$BIN" && TMO=300 w "./$1" "${@:2}" >"$W/${1%.exe}.log" 2>&1)
  # shellcheck disable=SC2034  # read by the scripts
  GTEST_RC=$?
}
gtest_none_skipped() { not grep -q '^\[  SKIPPED \]' "$1"; }
# gtest_passed <log> <Suite.Test>
gtest_passed() { grep -q "^\[       OK \] $2" "$1"; }
gtest_totals() { grep -E '^\[  (PASSED|FAILED|SKIPPED) ' "$1"; }
