#!/usr/bin/env bash
# wine-dpi-run.sh DPI PROGRAM [ARGS...]
# Runs a Windows program in a Wine prefix of its own whose screen is at DPI (96 = 100 %, 144 = 150 %,
# 192 = 200 %), so the prefix the other tests share stays at 96 dpi. The prefix is made once, under
# the build folder (wine-prefix-DPI); its own wineserver is stopped when the program ends.
set -u
dpi=$1
shift
export QUORLE_WINEPREFIX="${QUORLE_BUILD_ROOT:-$(cd "$(dirname "$0")/.." && pwd)/build}/wine-prefix-$dpi"
source "$(dirname "$0")/wine-env.sh"

stop_server() { timeout 30 wineserver -k >/dev/null 2>&1; timeout 30 wineserver -w >/dev/null 2>&1; }
trap stop_server EXIT

quorle_wine_prefix
if [ ! -f "$WINEPREFIX/.quorle-dpi-$dpi" ]; then
  # Wine 8 takes the screen's dpi from HKCU\Control Panel\Desktop; older versions from the current
  # configuration's fonts key. The test checks from inside which one took.
  timeout 120 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  timeout 120 wine reg add 'HKCC\Software\Fonts' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  stop_server
  touch "$WINEPREFIX/.quorle-dpi-$dpi"
fi
timeout 600 wine "$@"
