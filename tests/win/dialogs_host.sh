#!/bin/sh
# The Windows host answers the library's real dialogs from its options
# under wine, with a parent window as a user's run has: the cursor size
# question (a size, keep, cancelled), the GIF import options (a refused
# answer cancelled, a sequence size, one frame) and the cursor animation
# dialog of a new animated cursor, the AVI export (rate and delays) and the
# AVI import (a list of frames, the stepping dialog); a batch names its
# output as Windows reads a path. Each run has a time limit: a host that
# waits for a person fails.
# Usage: dialogs_host.sh <wine_run.sh> <prefix> <velmconv.exe> <work folder>
# Exit 77 (skipped) when the sample pictures are not installed.
set -eu
run_sh=$1 prefix=$2 exe=$3 work=$4/dialogs
samples=/usr/libexec/installed-tests/SDL2_image
[ -f "$samples/sample.bmp" ] || { echo "skipped: no sample pictures"; exit 77; }
rm -rf "$work" && mkdir -p "$work"
/usr/bin/convert -size 4x4 xc:red -size 6x3 xc:blue "$work/mixed.gif"

# expect <exit status> <text the output holds> <velmconv arguments...>
expect() {
    want=$1 text=$2
    shift 2
    status=0
    out=$(cd "$work" && timeout 60 sh "$run_sh" "$prefix" "$exe" "$@" 2>&1) || status=$?
    [ "$status" != 124 ] || { echo "FAIL: velmconv $*: still waiting after 60 s" >&2; exit 1; }
    [ "$status" = "$want" ] || { echo "FAIL: velmconv $*: exit $status, not $want: $out" >&2; exit 1; }
    case $out in *"$text"*) ;; *) echo "FAIL: velmconv $*: no \"$text\" in: $out" >&2; exit 1 ;; esac
}
size() { icotool -l "$work/$1" | grep -o 'width=[0-9]* --height=[0-9]*'; }

cp "$samples/sample.bmp" "$work/"
expect 0 "(132, ICO/CUR): 1 (done), resized from 23x42 to 32x32" convert sample.bmp sample.ico --cursor-size 32
[ "$(size sample.ico)" = "width=32 --height=32" ] || { echo "FAIL: sample.ico is $(size sample.ico)" >&2; exit 1; }
expect 0 "(132, ICO/CUR): 1 (done)" convert sample.bmp keep.cur --cursor-size keep
[ "$(size keep.cur)" = "width=23 --height=42" ] || { echo "FAIL: keep.cur is $(size keep.cur)" >&2; exit 1; }
expect 1 "(132, ICO/CUR): 0 (nothing done)" convert sample.bmp none.ico --cancel 107
expect 1 "refused the answer of the command line; cancelled" convert mixed.gif mixed.ani
expect 0 "(166, ANI): 1 (done), resized from 8x8 to 32x32" convert --gif-import sequence:8x8 mixed.gif mixed.ani
expect 0 "frame 0: 6x3" info --gif-import frame:1 mixed.gif
expect 0 "(166, ANI): 1 (done)" convert sample.bmp sample.ani --cursor-size 64
# Delays 1, 2, 2 at 5 per second: pictures at ticks 0, 1, 3 and the last
# again at 4; five frames to import.
/usr/bin/convert -delay 10 -size 8x8 xc:red xc:blue xc:lime "$work/anim.gif"
expect 0 "(165, AVI): 1 (done)" convert anim.gif anim.avi --avi-rate 5 --avi-delays 1,2
if command -v ffprobe >/dev/null; then
    ticks=$(ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 "$work/anim.avi" | grep -o '^[0-9][0-9]*' | tr '\n' ' ')
    [ "$ticks" = "0 1 3 4 " ] || { echo "FAIL: anim.avi has pictures at ticks $ticks" >&2; exit 1; }
fi
expect 0 "frames: 2" info anim.avi --avi-frames 2-3
expect 0 "frames: 3" info anim.avi --avi-frames every:2
# The backslash separates folders: the output is named after the file alone.
mkdir -p "$work/sub" && cp "$samples/sample.bmp" "$work/sub/"
expect 0 'sub\sample.bmp -> outw/sample.ico (ICO)' convert --to ico --out outw 'sub\sample.bmp'
[ -f "$work/outw/sample.ico" ] || { echo "FAIL: no outw/sample.ico" >&2; exit 1; }
echo "the Windows host answered every dialog from its options"
