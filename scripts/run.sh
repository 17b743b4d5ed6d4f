#!/usr/bin/env bash
# Builds Quorle.exe and starts it under Wine, optionally opening PATH (a Linux or Windows path).
#   scripts/run.sh [PATH]
# Quorle runs in the Wine prefix's virtual desktop (1280 × 800, see wine-env.sh). With a display, it runs until you close it. Without one, it runs in a private Xvfb for a few
# seconds, a screenshot is saved to build/win64/screenshots/run.png, and it is closed again.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build="$here/build"
"$here/scripts/bootstrap.sh" "$build"
cmake -S "$here" -B "$build/win64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_CROSSCOMPILING_EMULATOR="$here/scripts/wine-run.sh" >/dev/null
cmake --build "$build/win64" -j"$(nproc)" --target program

source "$here/scripts/wine-env.sh"
source "$here/scripts/display.sh"
out="$build/win64/out"

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  quorle_start_xvfb
  trap quorle_stop_xvfb EXIT
fi
quorle_wine_prefix

args=()
if [ $# -gt 0 ]; then
  if [ -e "$1" ]; then
    args=("$(winepath -w "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")")")
  else
    args=("$1")
  fi
fi

cd "$out"
if [ $headless = 0 ]; then
  exec wine Quorle.exe "${args[@]}"
fi

wine Quorle.exe "${args[@]}" >/dev/null 2>&1 &
wine_pid=$!
if wine quorle-probe.exe wait Quorle_main_class 60000 >/dev/null 2>&1; then
  sleep "${QUORLE_SHOT_DELAY:-4}"
  mkdir -p "$build/win64/screenshots"
  import -window root "$build/win64/screenshots/run.png"
  echo "screenshot: build/win64/screenshots/run.png"
  wine quorle-probe.exe close Quorle_main_class >/dev/null 2>&1 || true
  wine quorle-probe.exe gone Quorle_main_class 20000 >/dev/null 2>&1 || true
else
  echo "Quorle's main window did not appear" >&2
fi
wineserver -k 2>/dev/null || true
wait "$wine_pid" 2>/dev/null || true
