#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is installed already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git gcovr
  clang libclang-rt-14-dev
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  libimagequant-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  wine wine64 fonts-wine
  imagemagick
  libsdl2-image-tests
  # independent readers and writers the format tests check against
  icoutils gir1.2-gdkpixbuf-2.0 python3-gi python3-pil
  gifsicle giflib-tools netpbm libtiff-tools libjpeg-turbo-progs
  # a real web browser for the browser preview (headless screenshots)
  chromium
  # peer libraries, linked into the benchmarks only
  libgif-dev libtiff-dev libjpeg62-turbo-dev
  # the PNG decoder of compressed icon entries, linked into the library
  libpng-dev
  # real files nobody here wrote, used in place
  wx3.2-examples nsis-common golang-golang-x-image-dev heroes-data gdk-pixbuf-tests
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}" >&2
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
