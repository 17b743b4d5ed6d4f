#!/usr/bin/env bash
# Fetches the public test pictures of four format libraries from Debian's source packages, through a
# private apt configuration (the system's sources stay untouched), into a cache folder:
#   scripts/fetch-test-suites.sh [CACHE]      (default: build/test-suites)
# Results: CACHE/{pngsuite,pngsuite-interlaced,testpngs,png-crashers}/*.png, CACHE/{gif,gif-doc}/*.gif,
# CACHE/tiff/*.tif*, CACHE/jpeg/*.jpg, CACHE/jpeg-scan/test.scan (the library's own progressive script)
# Idempotent: a second run finds CACHE/.done (and each set's own .done) and does nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-"$here/build/test-suites"}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)

# A cache made before a set was added still fetches that set.
[ -f "$cache/.done" ] && [ -f "$cache/jpeg/.done" ] && [ -f "$cache/jpeg-scan/.done" ] && exit 0

apt_dir="$cache/apt"
work="$cache/src"
mkdir -p "$apt_dir/sources" "$apt_dir/lists/partial" "$work"
# Same mirror, suites and keyring as the system's own entries, as deb-src.
sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$apt_dir/sources/quorle-src.sources"
apt_opts=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$apt_dir/sources"
          -o "Dir::State::Lists=$apt_dir/lists")
if ! ls "$apt_dir/lists"/*Sources* >/dev/null 2>&1; then
  apt-get "${apt_opts[@]}" update -qq
fi

# Unpacks the upstream tarball of a source package and copies the files matching `pattern` from each
# SUBDIR into CACHE/DEST (arguments DEST=SUBDIR).
fetch() {
  local package=$1 pattern=$2
  shift 2
  local pkg_dir="$work/$package"
  mkdir -p "$pkg_dir"
  if ! ls "$pkg_dir"/*.orig.tar.* >/dev/null 2>&1; then
    # Only the upstream tarball is needed: a newer Debian revision whose own files are not on the
    # mirror yet still leaves it behind, and the release suite's version is the fallback.
    (cd "$pkg_dir" && { apt-get "${apt_opts[@]}" source --download-only -qq "$package" ||
                        apt-get "${apt_opts[@]}" source --download-only -qq "$package/bookworm"; }) || true
  fi
  ls "$pkg_dir"/*.orig.tar.* >/dev/null 2>&1 ||
    { echo "fetch-test-suites: could not download the source of $package" >&2; return 1; }
  local orig top
  orig=$(ls "$pkg_dir"/*.orig.tar.* | head -n 1)
  top=$(tar -tf "$orig" | awk -F/ 'NR == 1 { print $1 }')
  local pair dest subdir count
  for pair in "$@"; do
    dest=${pair%%=*}
    subdir=${pair#*=}
    [ -f "$cache/$dest/.done" ] && continue
    rm -rf "${pkg_dir:?}/$top"
    tar -xf "$orig" -C "$pkg_dir" --wildcards "$top/$subdir/*"
    rm -rf "${cache:?}/$dest"
    mkdir -p "$cache/$dest"
    find "$pkg_dir/$top/$subdir" -maxdepth 1 -type f -name "$pattern" -exec cp {} "$cache/$dest/" \;
    rm -rf "${pkg_dir:?}/$top"
    count=$(find "$cache/$dest" -maxdepth 1 -type f | wc -l)
    [ "$count" -gt 0 ] || { echo "fetch-test-suites: no files in $package/$subdir" >&2; return 1; }
    touch "$cache/$dest/.done"
    echo "fetch-test-suites: $count files from $package/$subdir into $cache/$dest"
  done
}

fetch libpng1.6 '*.png' pngsuite=contrib/pngsuite pngsuite-interlaced=contrib/pngsuite/interlaced \
  testpngs=contrib/testpngs png-crashers=contrib/testpngs/crashers
fetch giflib '*.gif' gif=pic gif-doc=doc/whatsinagif
fetch tiff '*.tif*' tiff=test/images
fetch libjpeg-turbo '*.jpg' jpeg=testimages
fetch libjpeg-turbo 'test.scan' jpeg-scan=testimages
touch "$cache/.done"
