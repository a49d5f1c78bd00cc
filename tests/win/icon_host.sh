#!/bin/sh
# The Windows host makes a multi-size icon and cursor of a BMP with alpha
# under wine (resampled by the library's own area filter, the 256 entry a
# PNG image written by the system's imaging component); icotool lists every
# entry and Pillow opens every size, the 256 one as PNG.
# Usage: icon_host.sh <wine_run.sh> <prefix> <velmconv.exe> <work folder>
# Exit 77 (skipped) when ImageMagick, icotool or Pillow is missing.
set -eu
run_sh=$1 prefix=$2 exe=$3 work=$4
for t in /usr/bin/convert icotool; do command -v "$t" >/dev/null || { echo "skipped: needs $t"; exit 77; }; done
/usr/bin/python3 -c 'import PIL' 2>/dev/null || { echo "skipped: needs Pillow"; exit 77; }
mkdir -p "$work"
rm -f "$work"/icon-host.bmp "$work"/icon-host.ico "$work"/icon-host.cur
/usr/bin/convert -size 200x120 xc:none -fill orange -draw 'circle 100,60 100,10' -type TrueColorAlpha \
    "BMP:$work/icon-host.bmp"
host() { sh "$run_sh" "$prefix" "$exe" "$@"; }

host icon --sizes 16,32,48,256 --depths 32,8,4 "Z:$work/icon-host.bmp" "Z:$work/icon-host.ico"
listed=$(icotool -l "$work/icon-host.ico" | cut -d' ' -f3,5 | tr '\n' ' ')
want="--width=16 --bit-depth=32 --width=16 --bit-depth=8 --width=16 --bit-depth=4 --width=32 --bit-depth=32 \
--width=32 --bit-depth=8 --width=32 --bit-depth=4 --width=48 --bit-depth=32 --width=48 --bit-depth=8 \
--width=48 --bit-depth=4 --width=256 --bit-depth=32 "
[ "$listed" = "$want" ] || { echo "FAIL: icotool lists $listed" >&2; exit 1; }
opened=$(/usr/bin/python3 -c "import sys
from PIL import Image
im = Image.open(sys.argv[1])
print(sorted(im.ico.sizes()), im.ico.getimage((256, 256)).format, im.ico.getimage((256, 256)).getpixel((128, 128)))" \
    "$work/icon-host.ico")
[ "$opened" = "[(16, 16), (32, 32), (48, 48), (256, 256)] PNG (255, 165, 0, 255)" ] ||
    { echo "FAIL: Pillow opens $opened" >&2; exit 1; }

host icon --sizes 32,48 --hotspot 100,60 "Z:$work/icon-host.bmp" "Z:$work/icon-host.cur"
hotspots=$(icotool -l "$work/icon-host.cur" | grep -o 'hotspot-x=[0-9]* --hotspot-y=[0-9]*' | tr '\n' ' ')
[ "$hotspots" = "hotspot-x=16 --hotspot-y=15 hotspot-x=24 --hotspot-y=23 " ] ||
    { echo "FAIL: hotspots $hotspots" >&2; exit 1; }
echo "icon of 10 entries listed by icotool and opened by Pillow; cursor hotspots $hotspots"
