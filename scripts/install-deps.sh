#!/usr/bin/env bash
# Installs the Debian packages a purpose needs, by group:
#   scripts/install-deps.sh demo   what the main job (scripts/demo.sh) uses:
#                                  the native build and the sample files
#   scripts/install-deps.sh test   what scripts/test.sh uses: the demo's
#                                  packages and the test tools (Wine, the
#                                  mingw toolchains, clang, the i386 runs)
#   scripts/install-deps.sh [all]  everything
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

group=${1:-all}
demo=(
  build-essential cmake ninja-build pkg-config
  # linked into the library and the host: PNG entries, JPEG, colour reduction
  libpng-dev libjpeg62-turbo-dev libimagequant-dev
  # the AVI companion library on Linux (FFmpeg's libraries), and the ffmpeg
  # and ffprobe tools that write and check AVI files in the demo and tests
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
  # the independent readers the demo shows its files to
  imagemagick icoutils gifsicle netpbm libjpeg-turbo-progs
  # the demo's picture of a cursor theme: libXcursor reads it, Pillow draws it
  libxcursor1 python3-pil
  # real files nobody here wrote, used in place
  libsdl2-image-tests wx3.2-examples nsis-common golang-golang-x-image-dev heroes-data
)
test=(
  git gcovr
  clang libclang-rt-14-dev
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-i686-win32
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32 binutils-mingw-w64
  wine wine64 fonts-wine
  # independent readers and writers the format tests check against
  gir1.2-gdkpixbuf-2.0 python3-gi python3-pil giflib-tools libtiff-tools
  # the manual page checked by groff
  groff-base
  # a real web browser for the browser preview (headless screenshots)
  chromium
  # peer libraries, linked into the benchmarks only
  libgif-dev libtiff-dev
  # the photograph the GIF benchmark turns into GIFs when it starts
  mate-backgrounds
  gdk-pixbuf-tests
  # animations of many small frames (emoticons) the GIF benchmark decodes
  pidgin-themes
  # X's cursor library, which reads the X cursor files written, its cursor
  # generator, and the cursor themes whose files are read and compared
  libxcursor-dev x11-apps dmz-cursor-theme breeze-cursor-theme adwaita-icon-theme
)
# The 32-bit runs. Every i386 library here is Multi-Arch "same" and installs
# beside its amd64 twin. The 32-bit libFuzzer runtime comes with the amd64
# libclang-rt-14-dev above (its i386 package conflicts with the multilib
# C library).
test32=(
  wine32:i386
  g++-multilib lib32asan8 lib32ubsan1
  libjpeg62-turbo-dev:i386 libimagequant-dev:i386 libgtest-dev:i386 libpng-dev:i386
)
case $group in
demo) packages=("${demo[@]}") packages32=() ;;
test | all) packages=("${demo[@]}" "${test[@]}") packages32=("${test32[@]}") ;;
*) echo "usage: $0 [demo|test|all]" >&2; exit 2 ;;
esac
status32=build/no-32bit-packages

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=() missing32=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${packages32[@]}"; do installed "$p" || missing32+=("$p"); done
if [ ${#missing[@]} -eq 0 ] && [ ${#missing32[@]} -eq 0 ]; then
  [ "$group" = demo ] || rm -f "$status32"
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

if [ ${#missing32[@]} -eq 0 ]; then
  rm -f "$update_log"
  [ "$group" = demo ] || rm -f "$status32"
  exit 0
fi
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
