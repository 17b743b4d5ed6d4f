#!/usr/bin/env bash
# Builds program_bench for Windows and runs it under Wine in a private Xvfb: the running program's
# first screen of a 200-photo folder against the headless tool, and its memory while producing.
#   scripts/bench-program.sh [--rounds N] [--against OTHER/Quorle.exe]   (default 5 rounds, medians reported)
# --against times only the first screen of this build's program and of another build's, in
# alternating rounds.
# The photographs are made once and kept in build/bench-photos. Prints name=value lines.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
cd "$here"

cmake --build "$build/win64" -j2 --target program_bench || exit 1
exe="$build/win64/bench/program_bench.exe"

source "$here/scripts/display.sh"
source "$here/scripts/wine-env.sh"

# The Wine prefix is shared with the other Windows runs: one at a time.
exec 9>"$build/wine-prefix.lock"
flock 9

cleanup() {
  if [ -n "${wineserver_pid:-}" ]; then
    wineserver -k 2>/dev/null
    kill "$wineserver_pid" 2>/dev/null
    wait "$wineserver_pid" 2>/dev/null
  fi
  quorle_stop_xvfb
}
trap cleanup EXIT

quorle_start_xvfb || exit 1
quorle_wine_prefix
wineserver -f -p >/dev/null 2>&1 &
wineserver_pid=$!
wine cmd /c exit >/dev/null 2>&1 </dev/null

mkdir -p "$build/bench-photos"
photos=$(winepath -w "$build/bench-photos" 2>/dev/null)
args=()
while [ $# -gt 0 ]; do
  if [ "$1" = --against ] && [ $# -ge 2 ]; then
    args+=(--against "$(winepath -w "$2" 2>/dev/null)")
    shift 2
  else
    args+=("$1")
    shift
  fi
done
wine "$exe" "$photos" "${args[@]}" </dev/null
