#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is installed already.
#
# The 32-bit runs (the product under 32-bit Wine, the native -m32 build
# under the sanitizers) need Debian's i386 architecture. Its index has not
# always been served: when it cannot be fetched or its packages cannot be
# installed, the i386 architecture is removed again, one line says so, and
# the reason is left in build/no-32bit-packages for scripts/test.sh, whose
# two 32-bit steps are then skipped. Everything else is installed as usual.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake ninja-build pkg-config git gcovr
  clang libclang-rt-14-dev
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  libimagequant-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 binutils-mingw-w64
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
  # the AVI companion library on Linux (FFmpeg's libraries) and the ffmpeg
  # and ffprobe tools its tests write and check AVI files with
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  # real files nobody here wrote, used in place
  wx3.2-examples nsis-common golang-golang-x-image-dev heroes-data gdk-pixbuf-tests
)
# The 32-bit runs. Every i386 library here is Multi-Arch "same" and installs
# beside its amd64 twin. The 32-bit libFuzzer runtime comes with the amd64
# libclang-rt-14-dev above (its i386 package conflicts with the multilib
# C library).
packages32=(
  wine32:i386
  g++-multilib lib32asan8 lib32ubsan1
  libjpeg62-turbo-dev:i386 libimagequant-dev:i386 libgtest-dev:i386 libpng-dev:i386
)
status32=build/no-32bit-packages

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=() missing32=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${packages32[@]}"; do installed "$p" || missing32+=("$p"); done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  rm -f "$status32"
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
apt_install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }

[ ${#missing32[@]} -eq 0 ] || $SUDO dpkg --add-architecture i386
all=("${missing[@]}" "${missing32[@]}")
echo "installing: ${all[*]}" >&2
# The i386 index is judged by itself below; a failure to fetch it must not
# stop the rest.
update_log=$(mktemp)
$SUDO apt-get update -qq >"$update_log" 2>&1 || true
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"

[ ${#missing32[@]} -ne 0 ] || { rm -f "$status32" "$update_log"; exit 0; }
reason=""
if grep -qE '^(E|W): .*i386' "$update_log"; then
  reason="the i386 package index cannot be fetched"
elif [ -z "$(apt-cache madison wine32:i386 2>/dev/null)" ]; then
  reason="the i386 package index holds no wine32"
elif ! apt_install "${missing32[@]}" 2>"$update_log"; then
  reason="apt-get cannot install them: $(grep -m1 '^E: ' "$update_log" | cut -c4-160)"
fi
rm -f "$update_log"
if [ -z "$reason" ]; then
  rm -f "$status32"
  exit 0
fi
# Later updates must not trip over the index again. dpkg keeps the
# architecture while any i386 package is installed.
$SUDO dpkg --remove-architecture i386 2>/dev/null || true
mkdir -p "$(dirname "$status32")"
printf '%s\n' "$reason" >"$status32"
echo "32-bit packages not installable ($reason): the i386 architecture is removed again and the two 32-bit test steps will be skipped" >&2
exit 0
