#!/usr/bin/env bash
# Fetches libarchive's Debian source package (with Debian's patches applied by dpkg-source, several of
# which fix the RAR readers) through a private apt configuration and builds it static, with zlib and
# liblzma (scripts/build-liblzma.sh, run first: 7z and .xz need it), for Windows and for the native core.
# The program reads RAR with it; the archive plug-in reads 7z, tar and cab; tests write fixtures with it.
# Our own fixes in scripts/libarchive-patches/ go on top; a change to them, or to the set of
# compression libraries, rebuilds both libraries.
#   scripts/build-libarchive.sh BUILD_ROOT
# Results: BUILD_ROOT/deps/archive-{win64,native}/{include,lib}; the source tree (with the library's
# own uuencoded test archives) stays in BUILD_ROOT/deps/src/libarchive-VERSION.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=$(mkdir -p "$1" && cd "$1" && pwd)  # absolute: CMake checks run elsewhere
deps="$build_root/deps"
version=3.6.2
mkdir -p "$deps"

patches="$here/scripts/libarchive-patches"
stamp=$( (cat "$patches"/*.patch; echo "with zlib lzma") | sha256sum | cut -d' ' -f1)
if [ "$(cat "$deps/archive-win64/.done" 2>/dev/null)" = "$stamp" ] &&
   [ "$(cat "$deps/archive-native/.done" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi

src="$deps/src/libarchive-$version"
if [ ! -f "$src/CMakeLists.txt" ]; then
  apt_dir="$deps/apt"
  mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$deps/src/libarchive-dl"
  # Same mirror, suites and keyring as the system's own entries, as deb-src.
  sys_sources=/etc/apt/sources.list.d/debian.sources
  sed -e 's/^Types:.*/Types: deb-src/' "$sys_sources" > "$apt_dir/sources/quorle-src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
            -o "Dir::State::Lists=$apt_dir/lists")
  apt-get "${apt_opts[@]}" update -qq
  (cd "$deps/src/libarchive-dl" && apt-get "${apt_opts[@]}" source --download-only libarchive)
  dsc=$(ls "$deps/src/libarchive-dl"/libarchive_"$version"*.dsc | head -n 1)
  rm -rf "$src"
  dpkg-source --no-check -x "$dsc" "$src" > /dev/null
  [ -f "$src/CMakeLists.txt" ] || { echo "build-libarchive: source not found at $src" >&2; exit 1; }
fi
for p in "$patches"/*.patch; do
  # Applied once: a patch that reverses cleanly is already in the tree.
  if ! patch -d "$src" -p0 -R -s -f --dry-run < "$p" > /dev/null 2>&1; then
    patch -d "$src" -p0 -s -f < "$p" || { echo "build-libarchive: $p does not apply" >&2; exit 1; }
  fi
done

off=()
for f in OPENSSL MBEDTLS NETTLE LIBB2 LZ4 LZO ZSTD BZip2 LIBXML2 EXPAT PCREPOSIX LIBGCC CNG TAR CPIO \
         CAT XATTR ACL ICONV TEST WERROR; do
  off+=("-DENABLE_$f=OFF")
done
common=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DENABLE_ZLIB=ON -DENABLE_LZMA=ON
        -DPOSIX_REGEX_LIB=NONE "${off[@]}")

build_one() {  # name, extra cmake arguments...
  local name=$1; shift
  local out="$deps/archive-$name" bld="$deps/archive-$name-build"
  rm -rf "$bld"  # a changed set of libraries must not meet the cached checks of the last one
  cmake -S "$src" -B "$bld" "${common[@]}" "$@" > "$deps/archive-$name.log"
  # A liblzma that CMake rejects would silently give a library without 7z's usual methods.
  grep -q '^#define HAVE_LIBLZMA 1' "$bld/config.h" || { echo "build-libarchive: liblzma not usable for $name" >&2; exit 1; }
  cmake --build "$bld" -j"$(nproc)" --target archive_static >> "$deps/archive-$name.log" 2>&1
  mkdir -p "$out/include" "$out/lib"
  cp "$src/libarchive/archive.h" "$src/libarchive/archive_entry.h" "$out/include/"
  cp "$bld/libarchive/libarchive.a" "$out/lib/libarchive.a" 2>/dev/null \
    || cp "$bld/libarchive/libarchive_static.a" "$out/lib/libarchive.a"
  echo "$stamp" > "$out/.done"
}

if [ "$(cat "$deps/archive-native/.done" 2>/dev/null)" != "$stamp" ]; then
  build_one native -DCMAKE_C_COMPILER=clang-14 -DZLIB_LIBRARY=/usr/lib/x86_64-linux-gnu/libz.a \
    -DLIBLZMA_INCLUDE_DIR="$deps/lzma-native/include" -DLIBLZMA_LIBRARY="$deps/lzma-native/lib/liblzma.a"
fi
if [ "$(cat "$deps/archive-win64/.done" 2>/dev/null)" != "$stamp" ]; then
  mingw_z=/usr/x86_64-w64-mingw32/lib/libz.a
  build_one win64 -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" -DZLIB_LIBRARY="$mingw_z" \
    -DZLIB_WINAPI=OFF -DZLIB_WINAPI_WITH_LIB="$mingw_z" \
    -DLIBLZMA_INCLUDE_DIR="$deps/lzma-win64/include" -DLIBLZMA_LIBRARY="$deps/lzma-win64/lib/liblzma.a"
fi
echo "build-libarchive: libarchive $version ready in $deps"
