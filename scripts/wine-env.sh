# Sourced by the scripts that run Windows programs: one Wine prefix inside the build folder, quiet,
# and never waiting for the Mono or Gecko installers.
#   QUORLE_BUILD_ROOT  build folder (default: <repo>/build)
_quorle_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export QUORLE_BUILD_ROOT=${QUORLE_BUILD_ROOT:-"$_quorle_root/build"}
export WINEPREFIX=${QUORLE_WINEPREFIX:-"$QUORLE_BUILD_ROOT/wine-prefix"}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
# File names reach Linux as UTF-8, and the ANSI code page (1252) follows the locale: pin both.
export LANG=C.UTF-8
export LC_ALL=C.UTF-8

# Creates the prefix once; later calls cost nothing. Every program of the prefix runs in Wine's
# virtual desktop, which draws real window frames (Xvfb has no window manager).
quorle_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.quorle-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x800 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.quorle-ready"
  fi
  # A crash ends the process at once with a backtrace instead of waiting in a dialog.
  if [ ! -f "$WINEPREFIX/.quorle-no-crash-dialog" ]; then
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.quorle-no-crash-dialog"
  fi
}
