#!/usr/bin/env bash
# Prepares a Debian bookworm machine to build, run and test Quorle.
# Idempotent: installs only the packages that are missing and builds libjpeg-turbo once per build folder.
#   scripts/bootstrap.sh [BUILD_ROOT]      (default: build/)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build_root=${1:-"$here/build"}
mkdir -p "$build_root"

packages=(
  cmake ninja-build pkg-config dpkg-dev patch python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
  wine wine64 xvfb xauth x11-utils
  libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1
  fonts-liberation fonts-wine
  libz-mingw-w64-dev zlib1g-dev nasm
  clang-14 libclang-rt-14-dev googletest libbenchmark-dev
  imagemagick zip unzip python3-pil
  webp gcab p7zip-full
  libpng-dev libgif-dev libtiff-dev
  cups printer-driver-cups-pdf poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# libjpeg-turbo from Debian's source package, built the same way for both targets.
"$here/scripts/build-libjpeg.sh" "$build_root"
# liblzma and libwebp from Debian's source packages, the same way: 7z/.xz for libarchive; WebP plug-in.
"$here/scripts/build-liblzma.sh" "$build_root"
"$here/scripts/build-libwebp.sh" "$build_root"
# libarchive from Debian's source package (patches applied): the built-in RAR reader, the archive plug-in.
"$here/scripts/build-libarchive.sh" "$build_root"
