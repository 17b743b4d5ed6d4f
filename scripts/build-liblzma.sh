#!/usr/bin/env bash
# Fetches xz-utils' Debian source package (Debian's patches applied by dpkg-source) through a private apt
# configuration and builds liblzma static for Windows and for the native core: libarchive's 7z and .xz
# readers need it.
#   scripts/build-liblzma.sh BUILD_ROOT
# Results: BUILD_ROOT/deps/lzma-{win64,native}/{include,lib/liblzma.a}
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(mkdir -p "$1" && cd "$1" && pwd)  # absolute: CMake checks run elsewhere
deps="$build_root/deps"
version=5.4.1
mkdir -p "$deps"

if [ -f "$deps/lzma-win64/.done" ] && [ -f "$deps/lzma-native/.done" ]; then
  exit 0
fi

src="$deps/src/xz-utils-$version"
if [ ! -f "$src/CMakeLists.txt" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$deps/src/xz-utils-dl"
  # Same mirror, suites and keyring as the system's own entries, as deb-src.
  sys_sources=/etc/apt/sources.list.d/debian.sources
  sed -e 's/^Types:.*/Types: deb-src/' "$sys_sources" > "$apt_dir/sources/quorle-src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
            -o "Dir::State::Lists=$apt_dir/lists")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$deps/src/xz-utils-dl" && apt-get "${apt_opts[@]}" source --download-only xz-utils)
  dsc=$(ls "$deps/src/xz-utils-dl"/xz-utils_"$version"*.dsc | head -n 1)
  rm -rf "$src"
  dpkg-source --no-check -x "$dsc" "$src" > /dev/null
  [ -f "$src/CMakeLists.txt" ] || { echo "build-liblzma: source not found at $src" >&2; exit 1; }
fi

build_one() {  # name, extra cmake arguments...
  local name=$1; shift
  local out="$deps/lzma-$name" bld="$deps/lzma-$name-build"
  cmake -S "$src" -B "$bld" -DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON \
        -DBUILD_SHARED_LIBS=OFF -DENABLE_NLS=OFF "$@" > "$deps/lzma-$name.log"
  cmake --build "$bld" -j"$(nproc)" --target liblzma >> "$deps/lzma-$name.log" 2>&1
  mkdir -p "$out/include" "$out/lib"
  cp -r "$src/src/liblzma/api/lzma.h" "$src/src/liblzma/api/lzma" "$out/include/"
  cp "$bld/liblzma.a" "$out/lib/liblzma.a"
  touch "$out/.done"
}

if [ ! -f "$deps/lzma-native/.done" ]; then
  build_one native -DCMAKE_C_COMPILER=clang-14
fi
if [ ! -f "$deps/lzma-win64/.done" ]; then
  build_one win64 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake"
fi
echo "build-liblzma: liblzma $version ready in $deps"
