#!/usr/bin/env bash
# Checks every include against the floors of scripts/layers.txt, then
# builds and runs every test: native (debug), native under AddressSanitizer
# and UndefinedBehaviorSanitizer in 64 and in 32 bits (with the fuzz
# harnesses built for 32 bits, briefly), the Windows DLL as the i686
# product under 32-bit Wine and as the x86_64 build under wine64 (export,
# import and XP tables checked), and a short run of every fuzz harness.
# Ends with a summary naming every step and whether it passed, failed, was
# skipped or did not run. The 32-bit steps are skipped, saying why, when
# Debian's i386 packages could not be installed (scripts/install-deps.sh)
# or when the machine's kernel does not start 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test

no32=""
if [ -f build/no-32bit-packages ]; then
  no32=$(cat build/no-32bit-packages)
else
  for p in wine32:i386 g++-multilib lib32asan8 lib32ubsan1 libgtest-dev:i386 libpng-dev:i386; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || { no32="$p is not installed"; break; }
  done
fi
# Some kernels are built without IA-32 emulation: a 32-bit program then
# cannot start at all ("Exec format error"), and neither can 32-bit Wine.
if [ -z "$no32" ]; then
  probe=$(mktemp -d)
  if ! { echo 'int main(void) { return 0; }' >"$probe/p.c" && gcc -m32 "$probe/p.c" -o "$probe/p" 2>/dev/null; }; then
    no32="the 32-bit compiler cannot build a program"
  elif ! "$probe/p" 2>/dev/null; then
    no32="this machine's kernel does not start 32-bit programs"
  fi
  rm -rf "$probe"
  [ -z "$no32" ] || echo "-- 32-bit steps: $no32"
fi
skip32="skipped: 32-bit programs cannot run here ($no32)"

sanitizers() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 "$@"
}

layers() {
  scripts/check_layers.sh
  scripts/check_layers.sh --self-test
}

native() {
  cmake --preset linux >/dev/null
  cmake --build --preset linux -j2
  ctest --preset linux -j2
}

# The format cores and the public API on several threads at once, under
# ThreadSanitizer: their program alone (the tsan preset).
native_tsan() {
  cmake --preset tsan >/dev/null
  cmake --build --preset tsan -j2
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan -j2
}

# What a program on the public API does: installs the native build into a
# fresh prefix, builds examples/roundtrip.c against it through pkg-config
# alone, runs it, and shows its files to independent readers.
installed_api() {
  prefix=$(mktemp -d)
  work=$(mktemp -d)
  trap 'rm -rf "$prefix" "$work"' RETURN
  cmake --install build/linux --prefix "$prefix" >/dev/null
  export PKG_CONFIG_PATH="$prefix/lib/pkgconfig:$prefix/lib/$(gcc -print-multiarch)/pkgconfig"
  libdir=$(pkg-config --variable=libdir velmconv)
  cc -std=c99 -Wall -Wextra -Werror examples/roundtrip.c -o "$work/roundtrip" $(pkg-config --cflags --libs velmconv)
  LD_LIBRARY_PATH="$libdir" "$work/roundtrip" "$work"
  /usr/bin/identify "$work/roundtrip.ico" "$work/roundtrip.gif"
  gifsicle --info "$work/roundtrip.gif" | head -3
  /usr/bin/python3 -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); print("Pillow:", im.format, im.size, getattr(im, "n_frames", 1), "frames")' "$work/roundtrip.gif"
  test -f "$prefix/share/man/man1/velmconv.1"
  test -f "$prefix/include/velmconv/api.h"
}

native_asan() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j2
  sanitizers ctest --preset asan -j2
}

native32() {
  cmake --preset linux32 >/dev/null
  cmake --build --preset linux32 -j2
  sanitizers ctest --preset linux32 -j2
  echo "-- the fuzz harnesses, built for 32 bits"
  cmake --preset fuzz32 >/dev/null
  cmake --build --preset fuzz32 -j2
  fuzz/run_briefly.sh build/fuzz32 "${FUZZ32_SECONDS:-5}"
}

# Wine now and then fails to start a test program at all (it exits at once,
# printing nothing); a test that fails is run once more before it counts.
windows_i686() {
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j2
  if [ -n "$no32" ]; then
    echo "-- no 32-bit Wine: the product is built and its tables checked only"
    ctest --preset win32 -R '^exports_and_imports$'
  else
    ctest --preset win32 --repeat until-pass:2
  fi
}

windows_x86_64() {
  cmake --preset win64 >/dev/null
  cmake --build --preset win64 -j2
  ctest --preset win64 --repeat until-pass:2
}

fuzz_briefly() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j2
  fuzz/run_briefly.sh build/fuzz "${FUZZ_SECONDS:-20}"
}

steps=(
  "includes keep to the floors of scripts/layers.txt|layers|"
  "native tests|native|"
  "the C API example against the installed library|installed_api|"
  "native tests under ASan and UBSan|native_asan|"
  "format cores on several threads under TSan|native_tsan|"
  "native 32-bit tests under ASan and UBSan|native32|${no32:+$skip32}"
  "Windows i686 (the product), tests under 32-bit Wine|windows_i686|${no32:+$skip32}"
  "Windows x86_64, tests under Wine|windows_x86_64|"
  "fuzz harnesses, briefly|fuzz_briefly|"
)
results=()
failed=0
for entry in "${steps[@]}"; do
  IFS='|' read -r title fn skip <<<"$entry"
  if [ "$failed" = 1 ]; then
    results+=("$title|not run: an earlier step failed|")
    continue
  fi
  if [ -n "$skip" ] && [ "$fn" != windows_i686 ]; then
    printf '\n==== %s: %s\n' "$title" "$skip"
    results+=("$title|$skip|")
    continue
  fi
  printf '\n==== %s%s\n' "$title" "${skip:+: $skip}"
  start=$SECONDS
  set +e
  (set -e; "$fn")
  rc=$?
  set -e
  took=$((SECONDS - start))
  took="$((took / 60))m$(printf '%02d' $((took % 60)))s"
  if [ $rc -ne 0 ]; then
    failed=1
    results+=("$title|FAILED (exit $rc)|$took")
  elif [ -n "$skip" ]; then
    results+=("$title|$skip; the product built and its tables checked|$took")
  else
    results+=("$title|passed|$took")
  fi
done

printf '\n==== summary\n'
for r in "${results[@]}"; do
  IFS='|' read -r title what took <<<"$r"
  printf '  %-52s %6s  %s\n' "$title" "$took" "$what"
done
exit $failed
