#!/usr/bin/env bash
# The main job: builds the library and the reference host, velmconv, then
# shows what they do with real files nobody here wrote (Debian's own test
# pictures and program files, used in place). Every output goes into its
# own folder under out/demo/, and out/demo/INDEX.txt says what each shows.
# Programs of other makers (ImageMagick, netpbm, icoutils, gifsicle, djpeg)
# check what velmconv writes. Any conversion that fails stops the job.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh demo
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j2 >/dev/null

vc=build/linux-release/host/velmconv
samples=/usr/libexec/installed-tests/SDL2_image
go=/usr/share/gocode/src/golang.org/x/image/testdata
wx=/usr/share/doc/wx3.2-examples/examples/samples
nsis=/usr/share/nsis
out=out/demo
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

rm -rf "$out"
mkdir -p "$out"
index="$out/INDEX.txt"
printf 'What each file and folder under %s shows (written by scripts/demo.sh)\n' "$out" >"$index"

# section TITLE: a heading on the terminal, and in the index above the
# section's first note.
heading=""
section() {
  printf '\n== %s\n' "$1"
  heading=$1
}
# note PATH TEXT: an entry of the index.
note() {
  [ -z "$heading" ] || printf '\n%s\n' "$heading" >>"$index"
  heading=""
  printf '  %s\n      %s\n' "${1#"$out"/}" "$2" >>"$index"
}
# Prints how many pixels of two pictures differ; stops the job unless none do.
same() {
  local n
  n=$(/usr/bin/compare -metric AE "$1" "$2" null: 2>&1) || true
  echo "  $3: $n pixels differ"
  [ "$n" = 0 ]
}
# What a netpbm reader makes of a file, as pnmfile describes it.
pnm() {
  "$@" 2>/dev/null >"$scratch/check.pnm"
  echo "  $(basename "${*: -1}"), read by $1: $(pnmfile <"$scratch/check.pnm" | cut -d: -f2- | tr -s ' \t' ' ')"
}
psnr() { /usr/bin/compare -metric PSNR "$1" "$2" null: 2>&1 || true; }

section "The formats the library offers, and how it recognises files"
"$vc" formats | sed -n '/^flags 1:/,/^flags 2:/p' | sed '$d'
"$vc" detect "$samples"/sample.{pcx,tif,jpg,ico}

section "One photograph (150 x 103, 24 bits) saved in every still format and read back"
mkdir -p "$out/photo"
photo="$go/video-001.bmp"
cp "$photo" "$out/photo/original.bmp"
note "$out/photo/original.bmp" "the photograph as it came (golang x/image test data)"
for ext in pcx tif gif jpg; do
  "$vc" convert --no-parent "$photo" "$out/photo/photo.$ext"
  "$vc" convert --no-parent "$out/photo/photo.$ext" "$out/photo/photo-from-$ext.bmp"
done
same "$photo" "$out/photo/photo-from-pcx.bmp" "PCX (run-length, 24 bits) back"
same "$photo" "$out/photo/photo-from-tif.bmp" "TIFF (LZW) back"
echo "  GIF (256 colours) back: PSNR $(psnr "$photo" "$out/photo/photo-from-gif.bmp") dB"
echo "  JPEG back: PSNR $(psnr "$photo" "$out/photo/photo-from-jpg.bmp") dB"
pnm pcxtoppm "$out/photo/photo.pcx"
pnm tifftopnm "$out/photo/photo.tif"
pnm giftopnm "$out/photo/photo.gif"
pnm djpeg "$out/photo/photo.jpg"
note "$out/photo/photo.pcx" "PCX written by velmconv: the same pixels, read back and by pcxtoppm"
note "$out/photo/photo.tif" "TIFF with LZW strips: the same pixels, read back and by tifftopnm"
note "$out/photo/photo.gif" "GIF: the colours reduced to 256"
note "$out/photo/photo.jpg" "JPEG: close to the original (PSNR on the terminal)"
note "$out/photo/photo-from-*.bmp" "each of the four read back by velmconv"
"$vc" convert --no-parent "$photo" "$out/photo/photo.ico"
icotool -l "$out/photo/photo.ico"
note "$out/photo/photo.ico" "an icon: the size question answered with its default, 32 x 32"

section "Files of other programs opened"
mkdir -p "$out/opened"
for f in "$go/video-001-gray.tiff" "$go/bw-packbits.tiff" "$go/blue-purple-pink.lzwcompressed.tiff" \
  "$go/go-turns-two-280x360.jpeg" "$samples/sample.pcx" "$samples/palette.gif" /usr/share/games/heroes/pics/background.pcx; do
  [ -f "$f" ] || continue
  name=$(basename "$f")
  "$vc" convert --no-parent "$f" "$out/opened/$name.bmp"
  note "$out/opened/$name.bmp" "$name as velmconv reads it"
done
same "$go/video-001-gray.tiff" "$out/opened/video-001-gray.tiff.bmp" "grey TIFF against ImageMagick's reading"
same "$samples/palette.gif" "$out/opened/palette.gif.bmp" "GIF against ImageMagick's reading"

section "The file dialog's previews"
mkdir -p "$out/previews"
for f in "$go/go-turns-two-280x360.jpeg" "$go/video-001-uncompressed.tiff" "$samples/sample.pcx" \
  "$nsis/Contrib/Graphics/Icons/nsis3-install.ico" "$wx/animate/hourglass.ani"; do
  name=$(basename "$f")
  "$vc" preview "$f" "$out/previews/$name.bmp"
  note "$out/previews/$name.bmp" "the preview of $name"
done
ls "$out/previews"

section "Icons and cursors: the best entry opened, hotspots kept, an odd size kept on request"
mkdir -p "$out/icons"
"$vc" info "$nsis/Contrib/Graphics/Icons/nsis3-install.ico" | grep -E 'frame 0'
"$vc" convert --no-parent --cursor-size keep "$nsis/Contrib/Graphics/Icons/nsis3-install.ico" "$out/icons/nsis3-install.ico"
icotool -l "$out/icons/nsis3-install.ico"
note "$out/icons/nsis3-install.ico" "the 48 x 48 entry of a six-entry icon, kept at 48 x 48 (--cursor-size keep)"
"$vc" convert --no-parent "$wx/image/horse.cur" "$out/icons/horse.cur"
icotool -l "$out/icons/horse.cur"
note "$out/icons/horse.cur" "a cursor: its hotspot kept (icotool lists it)"
"$vc" convert --no-parent --cursor-size keep "$samples/sample.cur" "$out/icons/sample.cur"
icotool -l "$out/icons/sample.cur"
note "$out/icons/sample.cur" "a cursor of 23 x 42 kept at its size (--cursor-size keep)"

section "Animated cursors: rates, steps, title, author and hotspots kept"
mkdir -p "$out/cursors/hourglass-frames"
"$vc" convert --no-parent "$wx/animate/hourglass.ani" "$out/cursors/hourglass.ani"
"$vc" info "$out/cursors/hourglass.ani" | grep -E 'cursor animation|title|author|steps'
"$vc" extract --quiet "$out/cursors/hourglass.ani" "$out/cursors/hourglass-frames"
note "$out/cursors/hourglass.ani" "20 frames and their steps, written again"
note "$out/cursors/hourglass-frames/" "its frames, one picture each"
"$vc" convert --no-parent "$wx/image/horse3.ani" "$out/cursors/horse3.ani"
"$vc" info "$out/cursors/horse3.ani" | grep -E 'result|frames:'
note "$out/cursors/horse3.ani" "24-bit frames saved as 256-colour frames of one size"

section "Animated GIF and animated cursor, both ways: delays, transparency and looping carried across"
mkdir -p "$out/animation/original-frames" "$out/animation/round-trip-frames" "$out/animation/played"
throbber="$wx/animate/throbber.gif"
"$vc" convert --no-parent "$throbber" "$out/animation/throbber.ani"
"$vc" convert --no-parent "$out/animation/throbber.ani" "$out/animation/throbber.gif"
gifsicle --info "$out/animation/throbber.gif" | sed -n 1,7p
# As PNG, with their transparency: what a transparent pixel holds is no
# part of the picture (a cursor keeps black under its mask).
"$vc" extract --quiet "$throbber" "$out/animation/original-frames/frame.png"
"$vc" extract --quiet "$out/animation/throbber.gif" "$out/animation/round-trip-frames/frame.png"
for f in "$out"/animation/original-frames/*.png; do
  same "$f" "$out/animation/round-trip-frames/$(basename "$f")" "$(basename "$f" .png) after GIF, cursor, GIF"
done
"$vc" play "$throbber" "$out/animation/played" | tail -1
note "$out/animation/throbber.ani" "an animated GIF as an animated cursor: 0.10 s delays as 6/60 s"
note "$out/animation/throbber.gif" "and back to GIF: 0.10 s, transparent, looping forever"
note "$out/animation/original-frames/" "the GIF's frames"
note "$out/animation/round-trip-frames/" "the same frames after the round trip"
note "$out/animation/played/" "what the playback window shows, canvas by canvas"

section "Frames of different sizes: the import options answered three ways"
gifsicle --no-warnings "$throbber" '#0' --crop 4,4+16x16 "$throbber" '#1' -o "$out/animation/mixed.gif"
note "$out/animation/mixed.gif" "a GIF whose two frames differ in size (32 x 32 and 16 x 16)"
for answer in "sequence:24x24|both frames at 24 x 24" "frame:1|the second frame only" \
  "assembled|the frames composed on the GIF's screen, as one picture"; do
  choice=${answer%%|*}
  dir="$out/animation/mixed-${choice%%:*}"
  mkdir -p "$dir"
  "$vc" extract --gif-import "$choice" "$out/animation/mixed.gif" "$dir"
  note "$dir/" "--gif-import $choice: ${answer#*|}"
done

section "Program files: the bitmaps of an installer (32 and 64 bits), one picked by name"
mkdir -p "$out/programs"
for stub in zlib-x86-ansi zlib-amd64-unicode; do
  echo "  $stub: $("$vc" info "$nsis/Stubs/$stub" | grep -E 'bitmap:' | tr -s ' ')"
done
"$vc" --resource 110-1033 convert "$nsis/Stubs/zlib-amd64-unicode" "$out/programs/bitmap-110.bmp"
wrestool -x --type=2 --name=110 --language=1033 "$nsis/Stubs/zlib-amd64-unicode" >"$scratch/wrestool.bmp"
same "$out/programs/bitmap-110.bmp" "$scratch/wrestool.bmp" "bitmap 110 against wrestool's extraction"
note "$out/programs/bitmap-110.bmp" "bitmap 110 of a 64-bit installer stub"

section "A PNG in one command: an icon, a cursor, an animated cursor and a GIF"
"$vc" convert --no-parent --to ico,cur,ani,gif --out "$out/toucan" "$wx/image/toucan.png"
icotool -l "$out/toucan/toucan.ico" "$out/toucan/toucan.cur"
"$vc" convert --no-parent "$out/toucan/toucan.ico" "$out/toucan/toucan-icon.png"
note "$out/toucan/" "toucan.png (wxWidgets' sample picture) as an icon, a cursor, an animated cursor and a GIF"
note "$out/toucan/toucan-icon.png" "the icon read back and written as PNG, its transparency kept"

section "A multi-size application icon and cursor from the same PNG, every size opened by Pillow"
mkdir -p "$out/iconset"
"$vc" icon --sizes 16,24,32,48,64,256 --depths 32,8 "$wx/image/toucan.png" "$out/iconset/app.ico"
icotool -l "$out/iconset/app.ico" | tee "$out/iconset/app.ico.txt"
# Every entry as Pillow reads it, drawn at its own size over a checkerboard:
# a row of the 32-bit entries (256 read as PNG) and one of the 8-bit ones.
/usr/bin/python3 - "$out/iconset/app.ico" "$out/iconset/app-sizes.png" <<'PY'
import sys
from PIL import Image, ImageDraw
im = Image.open(sys.argv[1])
sizes = sorted(im.ico.sizes())
print('  Pillow opens', ', '.join('%dx%d' % s for s in sizes), '(256 as', im.ico.getimage((256, 256)).format + ')')
rows = [(bpp, [s for s in sizes if any(e['width'] == s[0] and e['bpp'] == bpp for e in im.ico.entry)]) for bpp in (32, 8)]
gap, label, caption = 12, 18, 60
column = lambda size: max(size[0], 28)
width = caption + gap + sum(column(s) + gap for s in sizes)
height = sum(max(s[1] for s in row) + gap + label for _, row in rows if row) + gap
sheet = Image.new('RGBA', (width, height), 'white')
draw = ImageDraw.Draw(sheet)
y = gap
for bpp, row in rows:
    if not row:
        continue
    tallest = max(s[1] for s in row)
    draw.text((gap, y + tallest - 12), '%d-bit' % bpp, fill='black')
    x = caption + gap
    for size in row:
        picture = im.ico.getimage(size, bpp).convert('RGBA')
        board = Image.new('RGBA', size, (204, 204, 204, 255))
        for by in range(0, size[1], 8):
            for bx in range((by // 8 % 2) * 8, size[0], 16):
                board.paste((255, 255, 255, 255), (bx, by, min(bx + 8, size[0]), min(by + 8, size[1])))
        board.alpha_composite(picture)
        sheet.paste(board, (x, y + tallest - size[1]))
        draw.text((x, y + tallest + 3), str(size[0]), fill='black')
        x += column(size) + gap
    y += tallest + gap + label
sheet.convert('RGB').save(sys.argv[2])
PY
"$vc" icon --sizes 32,48,64 --hotspot 150,40 "$wx/image/toucan.png" "$out/iconset/app.cur"
"$vc" convert --no-parent --to ani --sizes 32,48,64 --out "$out/iconset" "$wx/animate/hourglass.ani"
icotool -x -i 11 -o "$out/iconset/app-256.png" "$out/iconset/app.ico"
note "$out/iconset/app.ico" "toucan.png as an application icon: 16 to 64 at 32 and 8 bits, 256 as PNG (listing in app.ico.txt)"
note "$out/iconset/app-256.png" "its 256 x 256 entry, taken out by icotool"
note "$out/iconset/app-sizes.png" "every entry of app.ico as Pillow reads it, at its own size"
note "$out/iconset/app.cur" "a cursor of three sizes, its hotspot (150,40 of the picture) scaled to each"
note "$out/iconset/hourglass.ani" "the hourglass cursor with every frame at 32, 48 and 64 pixels"

section "A cursor theme for X from the sample cursors, and a Windows scheme from that theme"
# The scheme: the sample cursors and animated cursors used above, named as
# Windows names its pointers, without an install.inf; velmconv reads the
# roles from the names.
scheme="$out/theme/VelmConv Samples"
mkdir -p "$scheme"
cp "$wx/image/horse.cur" "$scheme/Normal Select.cur"
cp "$out/animation/throbber.ani" "$scheme/Help Select.ani"
cp "$wx/image/horse3.ani" "$scheme/Working in Background.ani"
cp "$out/iconset/hourglass.ani" "$scheme/Busy.ani"
cp "$samples/sample.cur" "$scheme/Text Select.cur"
cp "$out/iconset/app.cur" "$scheme/Link Select.cur"
cp "$out/toucan/toucan.cur" "$scheme/Alternate Select.cur"
# Seven of the fifteen roles: the others are said, and the exit status is 3.
status=0
"$vc" theme "$scheme" "$out/theme/x/VelmConv-Samples" 2>"$scratch/theme.txt" || status=$?
sed 's/^/  /' "$scratch/theme.txt"
[ "$status" = 3 ]
cat "$out/theme/x/VelmConv-Samples/index.theme"
/usr/bin/python3 scripts/theme_grid.py "$out/theme/x/VelmConv-Samples" "$out/theme/theme_grid.png" \
  left_ptr:Arrow help:Help left_ptr_watch:AppStarting watch:Wait crosshair:Crosshair xterm:IBeam \
  pencil:NWPen not-allowed:No size_ver:SizeNS size_hor:SizeWE size_fdiag:SizeNWSE size_bdiag:SizeNESW \
  fleur:SizeAll up-arrow:UpArrow hand2:Hand pin:Pin person:Person
status=0
"$vc" theme --to windows "$out/theme/x/VelmConv-Samples" "$out/theme/windows" 2>/dev/null || status=$?
[ "$status" = 3 ]
icotool -l "$out/theme/windows/hand.cur"
grep -A2 '^\[Scheme.Reg\]' "$out/theme/windows/install.inf" | cut -c1-110
note "$scheme/" "a Windows cursor scheme of the sample cursors, its roles in the file names"
note "$out/theme/x/VelmConv-Samples/" "the X cursor theme: cursors/ (each role's X name, its other names linked) and index.theme"
note "$out/theme/theme_grid.png" "the theme's cursors as libXcursor reads them: every size, and an animated cursor's frames"
note "$out/theme/windows/" "the X theme made a Windows scheme again: multi-size CUR and ANI files and install.inf"

section "AVI: an animation exported as a video at 5 frames per second, and its frames imported again"
mkdir -p "$out/video/frames"
"$vc" convert --no-parent --avi-rate 5 "$throbber" "$out/video/throbber.avi"
echo "  read by ffprobe: $(ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of compact=p=0 "$out/video/throbber.avi")"
"$vc" info --no-parent "$out/video/throbber.avi" | grep -E 'video:'
"$vc" extract --no-parent --quiet --avi-frames all "$out/video/throbber.avi" "$out/video/frames"
note "$out/video/throbber.avi" "the throbber animation as an uncompressed video, 5 frames per second"
note "$out/video/frames/" "every frame of that video, imported again through \"AVI Import\""

printf '\nOutput in %s/; %s says what each file shows.\n' "$out" "$index"
