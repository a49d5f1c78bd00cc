#!/bin/sh
# The Windows host converts PCX and JPEG through VelmConv32.dll and
# ijl11.dll under wine; netpbm, djpeg and ImageMagick check the files.
# Usage: pcxjpeg_host.sh <wine_run.sh> <prefix> <velmconv.exe> <work folder>
# Exit 77 (skipped) when the sample pictures are not installed.
set -eu
run_sh=$1 prefix=$2 exe=$3 work=$4
samples=/usr/libexec/installed-tests/SDL2_image
[ -f "$samples/sample.bmp" ] || { echo "skipped: no sample pictures"; exit 77; }
mkdir -p "$work"
rm -f "$work"/host.pcx "$work"/host-back.bmp "$work"/host.jpg "$work"/host-jpg.bmp
host() { sh "$run_sh" "$prefix" "$exe" convert --no-parent "$@"; }

host "Z:$samples/sample.bmp" "Z:$work/host.pcx"
host "Z:$work/host.pcx" "Z:$work/host-back.bmp"
pcxtoppm "$work/host.pcx" > "$work/host-pcx.ppm"
ae=$(/usr/bin/compare -metric AE "$samples/sample.bmp" "$work/host-back.bmp" null: 2>&1 || true)
[ "$ae" = 0 ] || { echo "FAIL: PCX round trip differs in $ae pixels" >&2; exit 1; }
ae=$(/usr/bin/compare -metric AE "$samples/sample.bmp" "$work/host-pcx.ppm" null: 2>&1 || true)
[ "$ae" = 0 ] || { echo "FAIL: pcxtoppm reads $ae other pixels" >&2; exit 1; }

host "Z:$samples/sample.bmp" "Z:$work/host.jpg"
host "Z:$work/host.jpg" "Z:$work/host-jpg.bmp"
djpeg "$work/host.jpg" > "$work/host-jpg.ppm"
psnr=$(/usr/bin/compare -metric PSNR "$samples/sample.bmp" "$work/host-jpg.ppm" null: 2>&1 || true)
back=$(/usr/bin/compare -metric PSNR "$work/host-jpg.ppm" "$work/host-jpg.bmp" null: 2>&1 || true)
echo "PCX round trip exact; JPEG PSNR $psnr dB against the source, $back dB djpeg against our reader"
awk -v a="$psnr" -v b="$back" 'BEGIN { exit !(a + 0 > 25 && (b == "inf" || b + 0 > 35)) }' ||
    { echo "FAIL: JPEG too far from the source" >&2; exit 1; }
