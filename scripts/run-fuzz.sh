#!/usr/bin/env bash
# Runs one libFuzzer target for a fixed time on a working corpus seeded from the build's seed corpus.
#   run-fuzz.sh TARGET WORK_CORPUS SEED_FOLDER [libFuzzer options...]
# Fails when the fuzzer reports a finding (crash, leak, timeout, sanitizer error).
set -u
target=$1 work=$2 seeds=$3
shift 3
mkdir -p "$work"
if [ -d "$seeds" ]; then
  cp -n "$seeds"/* "$work"/ 2>/dev/null || true
fi
"$target" "$@" "$work"
