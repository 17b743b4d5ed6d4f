#!/usr/bin/env bash
# The whole test suite, from a fresh machine: set-up, three builds, every test, one summary line.
#   native      the portable core with clang, plain
#   native-asan the same with AddressSanitizer + UndefinedBehaviorSanitizer, plus the fuzz targets
#   win64       the real Windows program and its tests, run under Wine in a private Xvfb
# Needs no display; starts its own Xvfb and wineserver and stops both by their process ids.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
cd "$here"

"$here/scripts/bootstrap.sh" "$build" || { echo "0 passed, 1 failed (bootstrap)"; exit 1; }
source "$here/scripts/wine-env.sh"
source "$here/scripts/display.sh"
source "$here/scripts/print-spooler.sh"

jobs=$(nproc)
status=0
failed_builds=0
declare -a trees=()
configure_and_build() {
  local name=$1
  shift
  echo "== building $name"
  if cmake -S "$here" -B "$build/$name" -G Ninja "$@" >"$build/$name.configure.log" 2>&1 &&
     cmake --build "$build/$name" -j"$jobs" >"$build/$name.build.log" 2>&1; then
    trees+=("$name")
  else
    echo "build of $name failed; see build/$name.configure.log and build/$name.build.log"
    tail -n 30 "$build/$name.configure.log" "$build/$name.build.log" 2>/dev/null
    status=1
    failed_builds=$((failed_builds + 1))
  fi
}

mkdir -p "$build"
configure_and_build native -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
configure_and_build native-asan -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DQUORLE_SANITIZE=ON -DQUORLE_FUZZ=ON
configure_and_build win64 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh"

cleanup() {
  if [ -n "${wineserver_pid:-}" ]; then
    # -k makes our prefix's server end its Windows processes with it.
    wineserver -k 2>/dev/null
    kill "$wineserver_pid" 2>/dev/null
    wait "$wineserver_pid" 2>/dev/null
  fi
  quorle_stop_spooler
  quorle_stop_xvfb
}
trap cleanup EXIT

# Files the tests delete go to a trash of their own, never the user's.
export XDG_DATA_HOME="$build/xdg-data"
mkdir -p "$XDG_DATA_HOME"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

for tree in "${trees[@]}"; do
  rm -rf "$build/$tree/test-results"
  mkdir -p "$build/$tree/test-results"
  if [ "$tree" = win64 ]; then
    quorle_start_xvfb || { status=1; continue; }
    quorle_wine_prefix
    # One persistent wineserver for the whole run, stopped at the end. Its service processes are
    # started here with their output detached: otherwise they inherit CTest's pipes and every test
    # would wait for them to close.
    wineserver -f -p >/dev/null 2>&1 &
    wineserver_pid=$!
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    # The printing tests print onto a private CUPS PDF printer; when it cannot start they fail and say
    # why (QUORLE_PRINT_ERROR).
    quorle_start_spooler "$build/spooler" || echo "print spooler: $QUORLE_PRINT_ERROR"
  fi
  echo "== testing $tree"
  ctest --test-dir "$build/$tree" -j"$jobs" --output-on-failure --no-tests=error \
        --output-junit "$build/$tree/test-results/ctest.xml" >"$build/$tree/ctest.log" 2>&1 || status=1
  grep -E '^ *[0-9]+/[0-9]+ Test|tests passed|FAILED|Failed' "$build/$tree/ctest.log" | tail -n 60
done

python3 "$here/scripts/summarize.py" --failed-builds "$failed_builds" "${trees[@]/#/$build/}" || status=1
exit $status
