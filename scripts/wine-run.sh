#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix and returns its exit code. CTest uses this as
# the emulator of the Windows build.
source "$(dirname "$0")/wine-env.sh"
quorle_wine_prefix
exec wine "$@"
