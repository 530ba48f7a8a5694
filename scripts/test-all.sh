#!/usr/bin/env bash
# Runs every test of ZEP: the native build (plain, ASan+UBSan, TSan) with its
# unit and black-box tests, then the Windows build with its unit tests and
# black-box scripts under Wine in a throw-away prefix. Sets the machine up
# first. Prints each runner's summary and a final table; exits non-zero when
# anything failed.
#
#   bash scripts/test-all.sh            everything
#   ZEP_STAGES="native windows" bash scripts/test-all.sh   a subset
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

stages=${ZEP_STAGES:-"native native-asan native-tsan windows"}
jobs=${ZEP_JOBS:-2}
results=()
failed=0
t0=$(date +%s)

note() { printf '\n==== %s (%ss)\n' "$*" "$(( $(date +%s) - t0 ))"; }
record() {  # record <name> <status>
  results+=("$(printf '%-34s %s' "$1" "$2")")
  [ "$2" = ok ] || failed=1
}

mkdir -p build
note "setup"
bash scripts/setup.sh || { echo "setup failed"; exit 1; }

run_native() {  # run_native <preset>
  local p=$1
  note "configure + build $p"
  if ! cmake --preset "$p" -DZEP_WERROR=ON >"build/$p.configure.log" 2>&1; then
    cat "build/$p.configure.log"; record "$p build" FAILED; return
  fi
  if ! cmake --build --preset "$p" -j "$jobs"; then
    record "$p build" FAILED; return
  fi
  record "$p build" ok
  note "test $p"
  local env=()
  if [ "$p" = native-tsan ]; then
    # Reports become failures; the second-order deadlock detector only gives
    # noise for the lock-per-slot design of the serial library.
    env=(TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 report_signal_unsafe=0")
  elif [ "$p" = native-asan ]; then
    env=(ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
  fi
  if env "${env[@]}" ctest --preset "$p" >"build/$p/ctest.log" 2>&1; then
    record "$p tests" ok
  else
    record "$p tests" FAILED
    grep -E "(Failed|Not Run|Timeout|\*\*\*Exception)" "build/$p/ctest.log" | head -40
  fi
  tail -n 3 "build/$p/ctest.log"
}

run_windows() {
  note "configure + build windows"
  if ! cmake --preset windows -DZEP_WERROR=ON >build/windows.configure.log 2>&1; then
    cat build/windows.configure.log; record "windows build" FAILED; return
  fi
  if ! cmake --build --preset windows -j "$jobs"; then
    record "windows build" FAILED; return
  fi
  record "windows build" ok

  local wdir
  wdir=$(mktemp -d /tmp/zep-wine.XXXXXX)
  # shellcheck source=../tests/wine/wine_env.sh
  source tests/wine/wine_env.sh "$wdir/pfx"
  note "wine prefix"
  wine_up
  note "test windows (unit tests under Wine)"
  if ctest --preset windows >build/windows/ctest.log 2>&1; then
    record "windows unit tests (Wine)" ok
  else
    record "windows unit tests (Wine)" FAILED
    grep -E "(Failed|Not Run|Timeout|\*\*\*Exception)" build/windows/ctest.log | head -40
  fi
  tail -n 3 build/windows/ctest.log
  local script
  for script in tests/wine/*_test.sh; do
    [ -f "$script" ] || continue
    note "wine black box: $script"
    if timeout 900 bash "$script" "$ROOT/build/windows/bin" "$ROOT/build/native/bin" \
        >"build/windows/$(basename "$script" .sh).log" 2>&1; then
      record "$(basename "$script")" ok
    else
      record "$(basename "$script")" FAILED
    fi
    grep -E "^(PASS|FAIL|SKIP)|passed, .* failed" "build/windows/$(basename "$script" .sh).log"
  done
  wine_down
  rm -rf "$wdir"
}

for s in $stages; do
  case $s in
    native|native-asan|native-tsan) run_native "$s" ;;
    windows) run_windows ;;
    *) echo "unknown stage $s"; failed=1 ;;
  esac
done

note "summary"
printf '%s\n' "${results[@]}"
if [ $failed -eq 0 ]; then echo "ALL PASSED"; else echo "SOME FAILED"; fi
exit $failed
