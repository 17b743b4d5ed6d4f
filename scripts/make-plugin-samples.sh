#!/usr/bin/env bash
# make-plugin-samples.sh OUTDIR
# Sample files for the end-to-end test of the shipped plug-ins: JPEG photographs (ImageMagick's plasma,
# seeded, so every build makes the same ones), WebP copies of them (lossy, lossless and with alpha, by
# cwebp) and a 7z archive of the JPEGs (7z's default LZMA2). Without one of the tools it makes nothing
# and the test says it skipped.
set -eu
out=$1
rm -rf "$out"
mkdir -p "$out"
for tool in convert cwebp 7z; do
  if ! command -v "$tool" >/dev/null; then
    echo "make-plugin-samples: $tool not installed; no samples" >&2
    exit 0
  fi
done
mkdir -p "$out/jpeg" "$out/webp"
for i in 1 2 3 4; do
  convert -seed "$i" -size 640x480 plasma:fractal -quality 85 "$out/jpeg/photo$i.jpg"
done
cwebp -quiet -q 80 "$out/jpeg/photo1.jpg" -o "$out/webp/photo1.webp"
cwebp -quiet -lossless "$out/jpeg/photo2.jpg" -o "$out/webp/photo2.webp"
convert -seed 5 -size 320x240 plasma:fractal -alpha set -channel A -evaluate set 60% "$out/alpha.png"
cwebp -quiet -q 80 "$out/alpha.png" -o "$out/webp/photo3.webp"
rm -f "$out/alpha.png"
(cd "$out/jpeg" && 7z a -t7z -bd ../photos.7z photo*.jpg >/dev/null)
touch "$out/.done"
