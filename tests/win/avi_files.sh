#!/bin/sh
# The AVI files of the Windows companion's tests, made on Linux, and the
# check of the files it wrote.
#   avi_files.sh make  <folder> <Linux VELMVFW32.so>: files FFmpeg and the
#     Linux companion write, each with FFmpeg's pictures per tick (.ref)
#   avi_files.sh check <folder> <Linux VELMVFW32.so>: the files the Windows
#     companion wrote, read by ffprobe, ffmpeg and the Linux companion
# Exit 77 (skipped) without ffmpeg; without the Linux companion (the linux
# preset's build) its part is left out, and said so.
set -eu
mode=$1 work=$2 so=$3
py="/usr/bin/python3 $(dirname "$0")/avi_linux.py"
command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null || { echo "skipped: ffmpeg is not installed"; exit 77; }
mkdir -p "$work"
cd "$work"
[ -f "$so" ] || echo "no Linux companion at $so (build the linux preset): its part is left out"

if [ "$mode" = make ]; then
    avi() {
        name=$1
        shift
        ffmpeg -v error -y -f lavfi -i testsrc=r=12:s=32x24 -frames:v 30 "$@" "$name.avi"
        $py ref "$name.avi" "$name.ref"
    }
    avi pal8 -c:v rawvideo -pix_fmt pal8
    avi bgr24 -c:v rawvideo -pix_fmt bgr24
    avi held -c:v rawvideo -pix_fmt bgr24 -vf "select='not(eq(n,2)+eq(n,4))'" -fps_mode passthrough
    avi msvideo1 -c:v msvideo1
    avi cinepak -c:v cinepak
    ffmpeg -v error -y -f lavfi -i sine=f=300:d=2 -ac 1 -ar 11025 -c:a pcm_s16le tone.wav
    if [ -f "$so" ]; then
        $py write "$so" linux_written.avi
        $py ref linux_written.avi linux_written.ref
    fi
    exit 0
fi

status=0
for bits in 8 24; do
    f=win_written_$bits
    probe() { ffprobe -v error -show_entries "$@" -of csv=p=0 $f.avi | tr '\n' ' '; }
    video=$(probe stream=codec_name,codec_type,r_frame_rate,nb_frames -select_streams v)
    ticks=$(ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 $f.avi | grep -o '^[0-9]*' | tr '\n' ' ')
    # The sound's length as decoded: 16-bit mono samples.
    sound=$(ffmpeg -v error -i $f.avi -map 0:a? -f s16le - | wc -c)
    sound=$((sound / 2))
    echo "$f: $video/ ticks $ticks/ sound $sound"
    [ "$video" = "rawvideo,video,12/1,6 " ] || { echo "FAIL: $f: video stream $video" >&2; status=1; }
    [ "$ticks" = "0 1 3 5 " ] || { echo "FAIL: $f: frames at ticks $ticks" >&2; status=1; }
    want=0
    [ $bits = 24 ] && want=5512
    [ "$sound" = "$want" ] || { echo "FAIL: $f: sound $sound, want $want" >&2; status=1; }
    $py ref $f.avi $f.ffmpeg
    cmp -s $f.ffmpeg $f.expected || { echo "FAIL: $f: ffmpeg decodes other pictures" >&2; status=1; }
    if [ -f "$so" ]; then $py read "$so" $f.avi $f.expected || status=1; fi
done
exit $status
