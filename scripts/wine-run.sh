#!/usr/bin/env bash
# Runs a Windows program under the project's Wine prefix and returns its exit code. CTest uses this as
# the emulator of the Windows build.
# Once in many runs Wine ended a test program within milliseconds, silently (its messages are off) and
# before the program wrote its first line: a program that fails without having written anything is
# started once more, saying so. A program that ran keeps its result; every test writes its first line
# at once.
source "$(dirname "$0")/wine-env.sh"
quorle_wine_prefix
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for attempt in 1 2; do
  wine "$@" | tee "$out"
  rc=${PIPESTATUS[0]}
  if [ "$rc" -eq 0 ] || [ -s "$out" ]; then
    exit "$rc"
  fi
  echo "wine-run: $(basename "$1") ended with $rc before writing anything (attempt $attempt)" >&2
done
exit "$rc"
