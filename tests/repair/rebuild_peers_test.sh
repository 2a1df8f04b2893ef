#!/usr/bin/env bash
# Files whose headers are lost: made by ffmpeg from test pictures, each beside a sibling made
# the same way from other pictures, damaged six ways, rebuilt by plovik-repair with the sibling
# as reference and, where the frames tell their codec, from the data alone. ffmpeg must decode
# each copy without an error line and read the codec, picture size (and with a reference the
# rate) of the original, the copy's video packets must be the original's frames that the damage
# left whole, and neither the input nor the reference may change.
# Usage: rebuild_peers_test.sh PLOVIK_REPAIR   (exit 77: ffmpeg is missing)
set -euo pipefail
for peer in ffmpeg ffprobe python3; do
    command -v "$peer" >/dev/null || { echo "SKIP: $peer is not installed"; exit 77; }
done
repair=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "rebuild peers test: $*" >&2; exit 1; }

# NAME | SIZE | SECONDS | RATE | VIDEO | AUDIO | rebuilt without a reference too (raw AAC
# then left out). The first 64 KiB lost hold less than the first group of pictures: a key
# frame with its codec's headers comes after them.
cases=(
    "mjpeg|160x120|4|44100|-c:v mjpeg -q:v 5|-c:a pcm_s16le|yes"
    "mpeg4|160x120|4|44100|-c:v mpeg4 -vtag XVID -g 12|-c:a libmp3lame -b:a 96k|yes"
    "h264|160x120|4|44100|-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p|-c:a pcm_s16le|yes"
    "h264aac|160x120|4|44100|-c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p|-c:a aac -b:a 96k|yes"
    "dv|720x576|1|48000|-c:v dvvideo -pix_fmt yuv420p|-c:a pcm_s16le|yes"
    "ffv1|160x120|4|44100|-c:v ffv1 -level 3 -slices 4 -slicecrc 1 -g 10|-c:a pcm_s16le|no"
)
damages=(riff avih hdrl first64k carved movi)

# damage.py IN KIND OUT: "RIFF" zeroed, "avih" zeroed, the header list zeroed, the first
# 64 KiB zeroed, carved from the first movie chunk, the "movi" list header zeroed.
cat > "$tmp/damage.py" <<'PY'
import struct, sys
b = bytearray(open(sys.argv[1], 'rb').read())
def top(kind):
    pos = 12
    while pos + 12 <= len(b):
        size = struct.unpack_from('<I', b, pos + 4)[0]
        if b[pos + 8:pos + 12] == kind:
            return pos, size
        pos += 8 + size + (size & 1)
hdrl, movi = top(b'hdrl'), top(b'movi')
kind = sys.argv[2]
if kind == 'riff': b[0:4] = bytes(4)
if kind == 'avih': at = b.find(b'avih'); b[at:at + 4] = bytes(4)
if kind == 'hdrl': b[hdrl[0]:hdrl[0] + 8 + hdrl[1]] = bytes(8 + hdrl[1])
if kind == 'first64k': b[0:65536] = bytes(65536)
if kind == 'carved': b = b[movi[0] + 12:]
if kind == 'movi': b[movi[0]:movi[0] + 12] = bytes(12)
open(sys.argv[3], 'wb').write(b)
PY

make() {  # make OUT SOURCE SIZE SECONDS RATE VIDEO AUDIO
    # shellcheck disable=SC2086
    ffmpeg -nostdin -v error -y -f lavfi -i "$2=size=$3:rate=25:duration=$4" \
        -f lavfi -i "sine=frequency=440:sample_rate=$5:duration=$4" $6 $7 "$1"
}
frames() { ffmpeg -v error -i "$1" -map 0:v -c copy -f framemd5 - | grep -v '^#' | awk -F', *' '{print $NF}'; }
probed() { ffprobe -v error -select_streams v:0 -show_entries "stream=$2" -of csv=p=0 "$1"; }
hashes() { sha1sum "$@" | cut -c1-40; }

# The copy's frames: the original's from some frame on (all of them where the damage left
# the movie data whole), in order.
kept_frames() {  # kept_frames COPY ORIGINAL_FRAMES ALL
    frames "$1" > "$tmp/copy.frames"
    [[ -s "$tmp/copy.frames" ]] || fail "$1: no video frames"
    local skipped=$(($(wc -l < "$2") - $(wc -l < "$tmp/copy.frames")))
    [[ $3 == no || $skipped == 0 ]] || fail "$1: $skipped frames lost"
    ((skipped >= 0)) && tail -n "$(wc -l < "$tmp/copy.frames")" "$2" | cmp -s - "$tmp/copy.frames" ||
        fail "$1: the frames are not the original's"
}

decodes_clean() {  # decodes_clean COPY
    local errors
    errors=$(ffmpeg -nostdin -v error -i "$1" -f null - 2>&1)
    [[ -z $errors ]] || fail "$1: ffmpeg: $errors"
}

checked=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name size seconds rate video audio inferred <<< "$entry"
    original=$tmp/$name.avi
    reference=$tmp/$name.ref.avi
    make "$original" testsrc2 "$size" "$seconds" "$rate" "$video" "$audio"
    make "$reference" smptebars "$size" 1 "$rate" "$video" "$audio"
    frames "$original" > "$tmp/$name.frames"
    for damage in "${damages[@]}"; do
        input=$tmp/$name.$damage.avi
        python3 "$tmp/damage.py" "$original" "$damage" "$input"
        before=$(hashes "$input" "$reference")
        whole=yes
        [[ $damage == first64k ]] && whole=no
        out=$tmp/$name.$damage.out.avi
        "$repair" --reference "$reference" "$input" "$out" > /dev/null ||
            fail "$input: not rebuilt with a reference"
        decodes_clean "$out"
        kept_frames "$out" "$tmp/$name.frames" "$whole"
        [[ $(probed "$out" codec_name,width,height,r_frame_rate) == \
            $(probed "$original" codec_name,width,height,r_frame_rate) ]] ||
            fail "$out: read as $(probed "$out" codec_name,width,height,r_frame_rate)"
        if [[ $inferred == yes ]]; then
            out=$tmp/$name.$damage.inferred.avi
            "$repair" "$input" "$out" > /dev/null || fail "$input: not rebuilt from its data"
            decodes_clean "$out"
            kept_frames "$out" "$tmp/$name.frames" "$whole"
            [[ $(probed "$out" codec_name,width,height) == \
                $(probed "$original" codec_name,width,height) ]] ||
                fail "$out: read as $(probed "$out" codec_name,width,height)"
        fi
        [[ $(hashes "$input" "$reference") == "$before" ]] || fail "$input: input or reference changed"
        checked=$((checked + 1))
    done
done

# A reference of another codec is refused, naming the difference, and leaves nothing behind.
mkdir "$tmp/refused"
set +e
message=$("$repair" --reference "$tmp/mjpeg.ref.avi" "$tmp/h264.riff.avi" "$tmp/refused/out.avi" 2>&1)
status=$?
set -e
[[ $status == 1 && $message == *"its codec is MJPG"* ]] || fail "a mismatching reference: $message"
[[ -z $(ls -A "$tmp/refused") ]] || fail "a refused reference left $(ls -A "$tmp/refused")"
# The summary names each field inferred or assumed, and from what.
json=$("$repair" --dry-run --format json "$tmp/mjpeg.riff.avi" "$tmp/refused/dry.avi")
[[ $json == *'"headers_from":"data","reference":null'* &&
    $json == *'{"stream":0,"field":"codec","value":"MJPG","source":"JPEG SOF0","assumed":false}'* &&
    $json == *'"value":"PCM 48000 Hz, 2 channels, 16 bits","source":"assumed","assumed":true}'* ]] ||
    fail "the summary of a rebuild: $json"
echo "rebuild peers test: $checked damaged files rebuilt"
