#!/usr/bin/env bash
# The demo: the service against the UPS simulator, with the shipped scripts,
# showing every event, status record and script run as it happens.
#
#   bash scripts/demo.sh
#
# Sets the machine up (scripts/setup.sh), builds the native preset, makes a
# run directory build/demo/ from build/native/bin (the programs, ZEP.conf,
# the message files and the .sh scripts), starts upssim on a pseudo-terminal
# with the scenario scripts/demo_scenario.txt, and starts "zeps -debug"
# there with ZEP_PORT on the simulator's terminal, a fast polling cycle,
# short waits and ZEP_DRY_RUN=1, so that the shutdowns are only written to
# the log. It shows build/demo/zep.log as the scripts write it, and the
# simulator's state changes. At the end of the scenario (about 80 seconds),
# or on Ctrl+C, it stops the service and the simulator by their process ids.
#
# Left behind in build/demo/: zep.log (what the scripts wrote), zeps.out
# (the service's console: trace lines and measurements), upssim.log (every
# exchange on the serial line) and upssim.out.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
ROOT=$(pwd)
RUN=$ROOT/build/demo
BIN=$ROOT/build/native/bin
SCENARIO=$ROOT/scripts/demo_scenario.txt
JOBS=${ZEP_JOBS:-2}

say() { printf '\n== %s\n' "$*"; }

say "setup"
bash scripts/setup.sh || { echo "demo: setup failed"; exit 1; }

say "build (native preset)"
mkdir -p build
if ! cmake --preset native >build/native.configure.log 2>&1; then
  cat build/native.configure.log
  echo "demo: configure failed"
  exit 1
fi
if ! cmake --build --preset native -j "$JOBS" \
    --target zeps zepe upssim zep_dist; then
  echo "demo: build failed"
  exit 1
fi

# The service's workers take the ports 60059 down to 60054 and find one
# another there; a second service on them would get this one's messages.
if command -v ss >/dev/null 2>&1 &&
  [ -n "$(ss -Hlun 'sport >= :60054 and sport <= :60059' 2>/dev/null)" ]; then
  echo "demo: the ports 60054..60059 are in use (is another zeps running?)"
  exit 1
fi

say "run directory $RUN"
# A fresh installation: the programs and what dist/ ships, nothing else.
rm -rf "$RUN"
mkdir -p "$RUN"
cp "$BIN/zeps" "$BIN/libserlink32.so" "$BIN/zepe" "$BIN/ZEP.conf" \
  "$BIN"/*.msg "$BIN"/*.sh "$RUN/" || { echo "demo: copy failed"; exit 1; }

LINK=$RUN/ups-link
# The demo's settings. ZEP.conf wins over the environment for the keys it
# holds, so they are written there too (after removing any active line).
DEMO_SETTINGS=(
  "ZEP_PORT=$LINK"
  "ZEP_MON_CYCLE=500"
  "ZEP_PF_WAIT=20"
  "ZEP_LB_WAIT=5"
)
for setting in "${DEMO_SETTINGS[@]}"; do
  key=${setting%%=*}
  sed -i "/^ *$key=/d" "$RUN/ZEP.conf"
  printf '%s\n' "$setting" >>"$RUN/ZEP.conf"
done
: >"$RUN/zep.log"

SIM_PID=
SERVICE_PID=
VIEW_PIDS=()
STOPPING=0

# Stops what the demo started, by process id: the service first (it runs
# "status.sh" with "Stop Service" on its way out), then the simulator, then
# the views of the logs.
stop_all() {
  [ "$STOPPING" -eq 1 ] && return
  STOPPING=1
  trap '' INT TERM
  if [ -n "$SERVICE_PID" ] && kill -0 "$SERVICE_PID" 2>/dev/null; then
    kill -INT "$SERVICE_PID" 2>/dev/null
    for _ in $(seq 100); do
      kill -0 "$SERVICE_PID" 2>/dev/null || break
      sleep 0.2
    done
    kill -KILL "$SERVICE_PID" 2>/dev/null
  fi
  wait "$SERVICE_PID" 2>/dev/null
  if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
    kill -TERM "$SIM_PID" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "$SIM_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$SIM_PID" 2>/dev/null
  fi
  wait "$SIM_PID" 2>/dev/null
  # A shutdown still pending belongs to this run only: cancel it, so that
  # its script ends now instead of writing to the log later.
  rm -f "$RUN/shutdown.pending"
  sleep 1.5
  for pid in "${VIEW_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  wait 2>/dev/null
  say "stopped; logs in $RUN (zep.log, zeps.out, upssim.log)"
}
trap 'echo; echo "demo: interrupted"; stop_all; exit 130' INT TERM

say "UPS simulator (text protocol, 19200 bit/s, scenario $(basename "$SCENARIO"))"
"$BIN/upssim" --link "$LINK" --protocol text --baud 19200 \
  --scenario "$SCENARIO" --log "$RUN/upssim.log" \
  </dev/null >"$RUN/upssim.out" 2>&1 &
SIM_PID=$!
ready=0
for _ in $(seq 100); do
  if grep -qx ready "$RUN/upssim.out" 2>/dev/null; then ready=1; break; fi
  kill -0 "$SIM_PID" 2>/dev/null || break
  sleep 0.1
done
if [ "$ready" -ne 1 ]; then
  cat "$RUN/upssim.out"
  echo "demo: the simulator did not start"
  stop_all
  exit 1
fi
echo "terminal $(head -n 1 "$RUN/upssim.out"), linked as $LINK"

# What happens, as it happens: the simulator's state changes and every line
# the scripts write. Each view is a tail (its id kept, to end it) feeding a
# filter that ends with it. They ignore Ctrl+C, so that the lines written
# while everything stops are still shown.
(trap '' INT && exec tail -n 0 -F "$RUN/upssim.log" 2>/dev/null) > >(
  trap '' INT
  grep --line-buffered -E -- ' -- (state|quit)' | sed -u 's/^/[upssim]  /'
) &
VIEW_PIDS+=($!)
(trap '' INT && exec tail -n +1 -F "$RUN/zep.log" 2>/dev/null) > >(
  trap '' INT
  exec sed -u 's/^/[zep.log] /'
) &
VIEW_PIDS+=($!)

say "zeps -debug in $RUN (ZEP_DRY_RUN=1: shutdowns are only logged)"
(
  cd "$RUN" || exit 1
  export ZEP_DRY_RUN=1
  for setting in "${DEMO_SETTINGS[@]}"; do export "${setting?}"; done
  exec ./zeps -debug
) >"$RUN/zeps.out" 2>&1 &
SERVICE_PID=$!

# The scenario ends with "quit": the simulator stops by itself.
while kill -0 "$SIM_PID" 2>/dev/null; do
  if ! kill -0 "$SERVICE_PID" 2>/dev/null; then
    echo "demo: the service ended early; see $RUN/zeps.out"
    break
  fi
  sleep 0.5
done
say "end of the scenario"
stop_all
exit 0
