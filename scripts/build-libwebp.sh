#!/usr/bin/env bash
# Fetches libwebp's Debian source package (Debian's security fixes applied by dpkg-source) through a
# private apt configuration and builds its decoder-only library static, with SIMD, for Windows and for
# the native core: the WebP plug-in links it.
#   scripts/build-libwebp.sh BUILD_ROOT
# Results: BUILD_ROOT/deps/webp-{win64,native}/{include/webp,lib/libwebpdecoder.a}; the source tree (with
# the library's own test pictures in examples/) stays in BUILD_ROOT/deps/src/libwebp-VERSION.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(mkdir -p "$1" && cd "$1" && pwd)  # absolute: CMake checks run elsewhere
deps="$build_root/deps"
version=1.2.4
mkdir -p "$deps"

if [ -f "$deps/webp-win64/.done" ] && [ -f "$deps/webp-native/.done" ]; then
  exit 0
fi

src="$deps/src/libwebp-$version"
if [ ! -f "$src/CMakeLists.txt" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$deps/src/libwebp-dl"
  # Same mirror, suites and keyring as the system's own entries, as deb-src.
  sys_sources=/etc/apt/sources.list.d/debian.sources
  sed -e 's/^Types:.*/Types: deb-src/' "$sys_sources" > "$apt_dir/sources/quorle-src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
            -o "Dir::State::Lists=$apt_dir/lists")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$deps/src/libwebp-dl" && apt-get "${apt_opts[@]}" source --download-only libwebp)
  dsc=$(ls "$deps/src/libwebp-dl"/libwebp_"$version"*.dsc | head -n 1)
  rm -rf "$src"
  dpkg-source --no-check -x "$dsc" "$src" > /dev/null
  [ -f "$src/CMakeLists.txt" ] || { echo "build-libwebp: source not found at $src" >&2; exit 1; }
fi

off=()
for f in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS; do
  off+=("-DWEBP_BUILD_$f=OFF")
done
# One picture per call: the decoder's worker thread would only add a dependency.
common=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DBUILD_SHARED_LIBS=OFF
        -DWEBP_USE_THREAD=OFF -DWEBP_ENABLE_SIMD=ON "${off[@]}")

build_one() {  # name, extra cmake arguments...
  local name=$1; shift
  local out="$deps/webp-$name" bld="$deps/webp-$name-build"
  cmake -S "$src" -B "$bld" "${common[@]}" "$@" > "$deps/webp-$name.log"
  cmake --build "$bld" -j"$(nproc)" --target webpdecoder >> "$deps/webp-$name.log" 2>&1
  mkdir -p "$out/include/webp" "$out/lib"
  cp "$src/src/webp/decode.h" "$src/src/webp/types.h" "$out/include/webp/"
  cp "$bld/libwebpdecoder.a" "$out/lib/libwebpdecoder.a"
  touch "$out/.done"
}

if [ ! -f "$deps/webp-native/.done" ]; then
  build_one native -DCMAKE_C_COMPILER=clang-14
fi
if [ ! -f "$deps/webp-win64/.done" ]; then
  build_one win64 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DCMAKE_SYSTEM_PROCESSOR=AMD64
fi
echo "build-libwebp: libwebp $version ready in $deps"
