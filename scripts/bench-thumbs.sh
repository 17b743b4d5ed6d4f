#!/usr/bin/env bash
# The thumbnail pipeline against GraphicsMagick and vipsthumbnail on the same 12-megapixel photographs,
# baseline and progressive, one thread and all threads (bench/thumbs_compare_bench.cpp). Installs the
# two programs from Debian's archive when missing; they are for this benchmark only, not the tests.
#   scripts/bench-thumbs.sh [FILES]    (default 20 photographs per folder)
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
missing=()
command -v gm >/dev/null || missing+=(graphicsmagick)
command -v vipsthumbnail >/dev/null || missing+=(libvips-tools)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
cmake --build "$here/build/native" -j2 --target quorle-tool thumbs_compare_bench >/dev/null
exec "$here/build/native/bench/thumbs_compare_bench" "$here/build/native/out/quorle-tool" "${1:-20}"
