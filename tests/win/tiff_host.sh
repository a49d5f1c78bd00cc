#!/bin/sh
# The Windows host converts TIFF through VelmConv32.dll under wine: the
# editor's picture saved as LZW TIFF and read back, palette and bilevel
# pictures both ways, and files of other programs (big-endian, PackBits)
# opened; libtiff's tools and ImageMagick check the pixels.
# Usage: tiff_host.sh <wine_run.sh> <prefix> <velmconv.exe> <work folder>
# Exit 77 (skipped) when the sample pictures are not installed.
set -eu
run_sh=$1 prefix=$2 exe=$3 work=$4
samples=/usr/libexec/installed-tests/SDL2_image
go=/usr/share/gocode/src/golang.org/x/image/testdata
[ -f "$samples/sample.bmp" ] && [ -d "$go" ] || { echo "skipped: no sample pictures"; exit 77; }
mkdir -p "$work"
rm -f "$work"/tiff-*
host() { sh "$run_sh" "$prefix" "$exe" convert --no-parent --quiet "$@"; }
same() {  # same <what> <a> <b> [fuzz]: ImageMagick finds no differing pixel
    ae=$(/usr/bin/compare -quiet ${4:+-fuzz $4} -metric AE "$2" "$3" null: 2>&1 || true)
    [ "$ae" = 0 ] || { echo "FAIL: $1: $ae pixels differ" >&2; exit 1; }
}
decodes() {  # tiffinfo -D decodes every strip without complaint
    remarks=$(tiffinfo -D "$1" 2>&1 >/dev/null |
        grep -v -e 'not sorted in ascending' -e 'tag 0 (0x0)' -e 'Tag 0' -e 'contains null byte' || true)
    [ -z "$remarks" ] || { echo "FAIL: tiffinfo -D $1: $remarks" >&2; exit 1; }
}

# 24 bits: saved, decoded by libtiff, read back.
host "Z:$samples/sample.bmp" "Z:$work/tiff-rgb.tif"
decodes "$work/tiff-rgb.tif"
tifftopnm "$work/tiff-rgb.tif" > "$work/tiff-rgb.ppm" 2>/dev/null
same "libtiff reads the RGB file" "$samples/sample.bmp" "$work/tiff-rgb.ppm"
host "Z:$work/tiff-rgb.tif" "Z:$work/tiff-rgb-back.bmp"
same "RGB round trip" "$samples/sample.bmp" "$work/tiff-rgb-back.bmp"

# 8 and 4 bits, palette.
for colours in 200 16; do
    /usr/bin/convert "$samples/sample.bmp" -colors $colours -type Palette -compress None "BMP3:$work/tiff-p$colours.bmp"
    host "Z:$work/tiff-p$colours.bmp" "Z:$work/tiff-p$colours.tif"
    decodes "$work/tiff-p$colours.tif"
    same "ImageMagick reads the $colours-colour file" "$work/tiff-p$colours.bmp" "$work/tiff-p$colours.tif" 0.5%
    host "Z:$work/tiff-p$colours.tif" "Z:$work/tiff-p$colours-back.bmp"
    same "$colours-colour round trip" "$work/tiff-p$colours.bmp" "$work/tiff-p$colours-back.bmp"
done

# Files of other programs.
for f in video-001-uncompressed.tiff bw-packbits.tiff blue-purple-pink.lzwcompressed.tiff; do
    host "Z:$go/$f" "Z:$work/tiff-$f.bmp"
    tifftopnm "$go/$f" > "$work/tiff-$f.pnm" 2>/dev/null
    same "$f" "$work/tiff-$f.pnm" "$work/tiff-$f.bmp"
done
echo "TIFF through the Windows host: RGB, 200 and 16 colours both ways, three files of other programs"
