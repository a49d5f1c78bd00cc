#!/usr/bin/env bash
# The main job: builds the library and the reference host, then runs the
# host on the sample files (Debian's SDL2_image test pictures, used in
# place) and writes what it produces to out/demo/. Any conversion that
# fails stops the job with an error.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release -j2 >/dev/null

vc=build/linux-release/host/velmconv
samples=/usr/libexec/installed-tests/SDL2_image
out=out/demo

# Prints how many pixels of two pictures differ; stops the job unless none do.
differ() {
  local n
  n=$(/usr/bin/compare -metric AE "$1" "$2" null: 2>&1) || true
  echo "$3: $n pixels differ$4"
  [ "$n" = 0 ]
}

# Runs a netpbm reader and prints what pnmfile says of the picture it made.
# The picture goes through a file: pnmfile stops after the header, and a
# reader still writing into a closed pipe would fail the job.
pnm() {
  "$@" 2>/dev/null >"$out/check.pnm"
  pnmfile <"$out/check.pnm"
}

rm -rf "$out"
mkdir -p "$out"

echo "== The formats the library offers"
"$vc" formats

echo
echo "== Detection by name and by content"
"$vc" detect "$samples"/sample.{bmp,pcx,tif,jpg,ico,cur}

echo
echo "== The editor opens its own BMP file"
"$vc" info "$samples/sample.bmp"

echo
echo "== Saving the editor's picture through the library, in every format"
for ext in pcx gif tif jpg ico; do
  "$vc" convert --no-parent "$samples/sample.bmp" "$out/sample.$ext"
done

echo
echo "== Opening and previewing the samples through the library"
for f in "$samples"/sample.{pcx,tif,jpg,ico,cur}; do
  name=$(basename "$f")
  "$vc" extract "$f" "$out"
  "$vc" preview "$f" "$out/$name.preview.bmp"
done

echo
echo "== Icons and cursors: a cursor keeps its hotspot; an odd size is kept on request"
wx=/usr/share/doc/wx3.2-examples/examples/samples/image
"$vc" convert --no-parent "$wx/horse.cur" "$out/horse.cur"
icotool -l "$out/horse.cur"
"$vc" convert --no-parent "$wx/horse.ico" "$out/horse.ico"
icotool -l "$out/horse.ico"
"$vc" convert --no-parent --cursor-size keep "$samples/sample.cur" "$out/sample.cur"
icotool -l "$out/sample.cur"

echo
echo "== An animated cursor round trip: rates, sequence, title, author, hotspots"
ani=/usr/share/doc/wx3.2-examples/examples/samples/animate/hourglass.ani
"$vc" convert --no-parent "$ani" "$out/hourglass.ani"
"$vc" info "$out/hourglass.ani" | grep -A3 "cursor animation"
"$vc" preview "$out/hourglass.ani" "$out/hourglass.ani.preview.bmp"

echo
echo "== TIFF: files of other programs opened, pictures of other formats saved as LZW TIFF and read by libtiff"
go=/usr/share/gocode/src/golang.org/x/image/testdata
"$vc" convert --no-parent "$go/video-001-uncompressed.tiff" "$out/video-001.bmp"
"$vc" convert --no-parent "$go/blue-purple-pink.lzwcompressed.tiff" "$out/blue-purple-pink.gif"
for f in "$samples"/sample.{jpg,pcx} "$out/video-001.bmp"; do
  name=$(basename "${f%.*}")
  "$vc" convert --no-parent "$f" "$out/$name-from-${f##*.}.tif"
  pnm tifftopnm "$out/$name-from-${f##*.}.tif"
done

echo
echo "== GIF: still pictures of other programs opened; the editor's picture saved as GIF and read by giflib and netpbm"
for f in "$samples/palette.gif" "$wx/horse.gif"; do
  name=$(basename "${f%.*}")
  "$vc" convert --no-parent "$f" "$out/$name-from-gif.bmp"
  "$vc" convert --no-parent "$out/$name-from-gif.bmp" "$out/$name.gif"
  differ "$f" "$out/$name.gif" "$name.gif" " from the original"
done
gifsicle --info "$out/sample.gif" | sed -n 1,4p
pnm giftopnm "$out/sample.gif"

echo
echo "== PCX and JPEG: a game's PCX picture opened, the JPEG sample converted both ways, read by netpbm and djpeg"
heroes=/usr/share/games/heroes/pics/background.pcx
if [ -f "$heroes" ]; then
  "$vc" convert --no-parent "$heroes" "$out/heroes.bmp"
  differ "$heroes" "$out/heroes.bmp" heroes.bmp " from the original"
  "$vc" convert --no-parent "$heroes" "$out/heroes.jpg"
  pnm djpeg "$out/heroes.jpg"
fi
"$vc" convert --no-parent "$samples/sample.jpg" "$out/sample-from-jpg.pcx"
pnm pcxtoppm "$out/sample-from-jpg.pcx"
"$vc" convert --no-parent "$out/sample-from-jpg.pcx" "$out/sample-from-pcx.jpg"
echo "sample-from-pcx.jpg: PSNR $(/usr/bin/compare -metric PSNR "$samples/sample.jpg" "$out/sample-from-pcx.jpg" null: 2>&1) dB against the original"

echo
echo "== Animated GIF: frames of another program's animation to an animated cursor and back, frame for frame"
throbber=/usr/share/doc/wx3.2-examples/examples/samples/animate/throbber.gif
"$vc" convert --no-parent "$throbber" "$out/throbber.ani"
"$vc" info "$out/throbber.ani" | sed -n 1,4p
"$vc" convert --no-parent "$out/throbber.ani" "$out/throbber.gif"
gifsicle --info "$out/throbber.gif" | sed -n 1,8p
mkdir -p "$out/throbber-in" "$out/throbber-out"
"$vc" extract --quiet "$throbber" "$out/throbber-in"
"$vc" extract --quiet "$out/throbber.gif" "$out/throbber-out"
for f in "$out"/throbber-in/*.bmp; do
  differ "$f" "$out/throbber-out/$(basename "$f")" "$(basename "$f")" ""
done
echo "frames of different sizes: the import options (template 109) answered as a sequence, one frame, the assembled image"
gifsicle --no-warnings "$throbber" '#0' --crop 4,4+16x16 "$throbber" '#1' -o "$out/mixed.gif"
for answer in sequence:24x24 frame:1 assembled; do
  echo "--gif-import $answer: $("$vc" info --gif-import "$answer" "$out/mixed.gif" | grep -E 'frame [0-9]:' | tr -s ' \n' ' ')"
done

echo
echo "== Program files: the bitmaps of Wine's cards.dll (PE32+) and an installer stub (PE32), one picked by name"
cards=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/cards.dll
"$vc" info "$cards" | grep -E 'bitmap:' | sed -n 1,6p
"$vc" --resource 1 convert "$cards" "$out/card1.bmp"
wrestool -x --type=2 --name=1 --language=0 "$cards" >"$out/card1_wrestool.bmp"
differ "$out/card1.bmp" "$out/card1_wrestool.bmp" "card 1 against wrestool's extraction" ""
"$vc" info /usr/share/nsis/Stubs/zlib-x86-ansi | grep -E 'bitmap:|frame 0'

echo
echo "== AVI: another program's animation exported as a video at 5 frames per second, read by ffprobe, and its frames imported again"
"$vc" convert --no-parent --avi-rate 5 "$throbber" "$out/throbber.avi"
ffprobe -v error -count_frames -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_frames -of compact "$out/throbber.avi"
"$vc" info --no-parent "$out/throbber.avi" | grep -E 'video:'
mkdir -p "$out/throbber-avi"
"$vc" extract --no-parent "$out/throbber.avi" "$out/throbber-avi" --avi-frames all

echo
echo "Output in $out/"
