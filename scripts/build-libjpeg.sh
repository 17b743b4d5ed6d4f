#!/usr/bin/env bash
# Fetches libjpeg-turbo's Debian source package (through a private apt configuration, leaving the
# system's sources alone) and builds it static with SIMD for Windows and for the native core.
#   scripts/build-libjpeg.sh BUILD_ROOT
# Results: BUILD_ROOT/deps/jpeg-{win64,native}/{include,lib}
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=$1
deps="$build_root/deps"
version=2.1.5
mkdir -p "$deps"

if [ -f "$deps/jpeg-win64/.done" ] && [ -f "$deps/jpeg-native/.done" ]; then
  exit 0
fi

src="$deps/src/libjpeg-turbo-$version"
if [ ! -f "$src/CMakeLists.txt" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$deps/src"
  # Same mirror, suites and keyring as the system's own entries, as deb-src.
  sys_sources=/etc/apt/sources.list.d/debian.sources
  sed -e 's/^Types:.*/Types: deb-src/' "$sys_sources" > "$apt_dir/sources/quorle-src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
            -o "Dir::State::Lists=$apt_dir/lists")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$deps/src" && apt-get "${apt_opts[@]}" source --download-only "libjpeg-turbo=1:$version*" \
     || apt-get "${apt_opts[@]}" source --download-only libjpeg-turbo)
  orig=$(ls "$deps/src"/libjpeg-turbo_"$version"*.orig.tar.* | head -n 1)
  tar -xf "$orig" -C "$deps/src"
  [ -f "$src/CMakeLists.txt" ] || { echo "build-libjpeg: source not found at $src" >&2; exit 1; }
fi

common=(-DWITH_JPEG8=ON -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON)

if [ ! -f "$deps/jpeg-native/.done" ]; then
  cmake -S "$src" -B "$deps/jpeg-native-build" -DCMAKE_INSTALL_PREFIX="$deps/jpeg-native" \
        -DCMAKE_INSTALL_LIBDIR="$deps/jpeg-native/lib" "${common[@]}" > "$deps/jpeg-native.log"
  cmake --build "$deps/jpeg-native-build" -j"$(nproc)" --target install >> "$deps/jpeg-native.log"
  touch "$deps/jpeg-native/.done"
fi
if [ ! -f "$deps/jpeg-win64/.done" ]; then
  cmake -S "$src" -B "$deps/jpeg-win64-build" -DCMAKE_INSTALL_PREFIX="$deps/jpeg-win64" \
        -DCMAKE_INSTALL_LIBDIR="$deps/jpeg-win64/lib" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_SYSTEM_PROCESSOR=AMD64 "${common[@]}" > "$deps/jpeg-win64.log"
  cmake --build "$deps/jpeg-win64-build" -j"$(nproc)" --target install >> "$deps/jpeg-win64.log"
  touch "$deps/jpeg-win64/.done"
fi
echo "build-libjpeg: libjpeg-turbo $version ready in $deps"
