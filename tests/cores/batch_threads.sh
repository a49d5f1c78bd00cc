#!/bin/sh
# velmconv converting real icons, cursors and GIFs on four threads of one
# process through the C API, each file to six formats: under
# ThreadSanitizer (the tsan preset) a race between two conversions ends
# the run. Exit 77 (skipped) without the sample files.
#
#   batch_threads.sh VELMCONV
set -eu
vc=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out"
# Numbered copies: two packages hold files of one name.
n=0
for f in $(find /usr/share/nsis/Contrib/Graphics/Icons /usr/share/doc/wx3.2-examples/examples/samples \
  \( -name '*.ico' -o -name '*.gif' -o -name '*.cur' \) 2>/dev/null | sort | head -n 40); do
  n=$((n + 1))
  cp "$f" "$work/in/$n-${f##*/}"
done
if [ "$n" = 0 ]; then
  echo "skipped: needs the sample files of the nsis and wx3.2-examples packages"
  exit 77
fi
"$vc" convert -j 4 --quiet --to gif,cur,tiff,png,ani,pcx --out "$work/out" "$work"/in/*
