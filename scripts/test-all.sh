#!/usr/bin/env bash
# Runs every test of ZEP: the native build (plain, ASan+UBSan, TSan) with its
# unit and black-box tests, a short run of every fuzz target, then the
# Windows build with its unit tests and black-box scripts under Wine in a
# throw-away prefix. Sets the machine up first. Prints each runner's summary
# and a final table; exits non-zero when anything failed.
#
#   bash scripts/test-all.sh            everything
#   ZEP_STAGES="native windows" bash scripts/test-all.sh   a subset
#   ZEP_FUZZ_SECONDS=300 ZEP_STAGES=fuzz bash scripts/test-all.sh   longer fuzzing
set -uo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

stages=${ZEP_STAGES:-"native native-asan native-tsan fuzz windows"}
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

# build_preset <preset>: configures (warnings as errors) and builds; records
# "<preset> build" and fails when either step did.
build_preset() {
  local p=$1
  note "configure + build $p"
  if ! cmake --preset "$p" -DZEP_WERROR=ON >"build/$p.configure.log" 2>&1; then
    cat "build/$p.configure.log"; record "$p build" FAILED; return 1
  fi
  if ! cmake --build --preset "$p" -j "$jobs"; then
    record "$p build" FAILED; return 1
  fi
  record "$p build" ok
}

# run_ctest <preset> <name> [env...]: runs the preset's tests into
# build/<preset>/ctest.log and records <name>.
run_ctest() {
  local p=$1 name=$2
  shift 2
  if env "$@" ctest --preset "$p" >"build/$p/ctest.log" 2>&1; then
    record "$name" ok
  else
    record "$name" FAILED
    grep -E "(Failed|Not Run|Timeout|\*\*\*Exception)" "build/$p/ctest.log" | head -40
  fi
  tail -n 3 "build/$p/ctest.log"
}

run_native() {  # run_native <preset>
  local p=$1
  build_preset "$p" || return
  note "test $p"
  local env=()
  if [ "$p" = native-tsan ]; then
    # Reports become failures; the second-order deadlock detector only gives
    # noise for the lock-per-slot design of the serial library.
    env=(TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 report_signal_unsafe=0")
  elif [ "$p" = native-asan ]; then
    env=(ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
  fi
  run_ctest "$p" "$p tests" "${env[@]}"
}

# Builds the fuzz preset (clang, libFuzzer, ASan+UBSan) and fuzzes each
# target for ZEP_FUZZ_SECONDS (default 20), $jobs at a time, each on a copy
# of its seeds in a temporary directory, so the repository is never written.
# A target that finds a crash or a broken invariant fails; its log and the
# input that did it are kept in build/fuzz/findings.
run_fuzz() {
  local seconds=${ZEP_FUZZ_SECONDS:-20}
  build_preset fuzz || return

  note "fuzz: each target for ${seconds}s"
  local work target name running=0
  work=$(mktemp -d /tmp/zep-fuzz.XXXXXX)
  rm -rf build/fuzz/findings
  local targets=()
  for target in build/fuzz/bin/*_fuzz; do
    [ -x "$target" ] && targets+=("$(basename "$target")")
  done
  for name in "${targets[@]}"; do
    mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
    cp tests/fuzz/corpus/"$name"/* "$work/$name/corpus/" 2>/dev/null
    # The targets trace to standard error; -close_fd_mask=3 silences that
    # while libFuzzer and the sanitizers still report.
    ( cd "$work/$name/artifacts" &&
      timeout $((seconds + 120)) "$ROOT/build/fuzz/bin/$name" \
        -max_total_time="$seconds" -timeout=10 -close_fd_mask=3 \
        "$work/$name/corpus" >"$work/$name.log" 2>&1
      echo $? >"$work/$name.rc" ) &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
  done
  wait
  for name in "${targets[@]}"; do
    if [ "$(cat "$work/$name.rc" 2>/dev/null)" = 0 ]; then
      record "fuzz $name" ok
    else
      record "fuzz $name" FAILED
      mkdir -p "build/fuzz/findings/$name"
      cp "$work/$name.log" "$work/$name"/artifacts/* "build/fuzz/findings/$name/" 2>/dev/null
      grep -E "ERROR|invariant|SUMMARY" "$work/$name.log" | head -10
      echo "  $name: log and failing input in build/fuzz/findings/$name"
    fi
    grep -E "^#[0-9]+[[:space:]]+DONE" "$work/$name.log" | sed "s/^/  $name: /"
  done
  rm -rf "$work"
}

run_windows() {
  build_preset windows || return

  local wdir
  wdir=$(mktemp -d /tmp/zep-wine.XXXXXX)
  # shellcheck source=../tests/wine/wine_env.sh
  source tests/wine/wine_env.sh "$wdir/pfx"
  note "wine prefix"
  wine_up
  note "test windows (unit tests under Wine)"
  run_ctest windows "windows unit tests (Wine)"
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
    fuzz) run_fuzz ;;
    windows) run_windows ;;
    *) echo "unknown stage $s"; failed=1 ;;
  esac
done

note "summary"
printf '%s\n' "${results[@]}"
if [ $failed -eq 0 ]; then echo "ALL PASSED"; else echo "SOME FAILED"; fi
exit $failed
