#!/usr/bin/env bash
# Writes AVI files made by real muxers (ffmpeg, MEncoder, GStreamer) into a folder, for the
# tests that hold Plovik against what real writers produce. Each file is small (a few
# seconds of test pictures and tones). Usage: make-corpus.sh DIR
# A stamp keyed by this script's contents makes a second run with nothing changed instant.
# Files whose tool is missing are left out; a test that needs one skips without it.
set -euo pipefail

out=${1:?usage: make-corpus.sh DIR}
mkdir -p "$out"
stamp="$out/.stamp-$(sha1sum "$0" | cut -c1-12)"
[[ -e "$stamp" ]] && exit 0
rm -f "$out"/.stamp-*
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

have() { command -v "$1" >/dev/null 2>&1; }
# Writes $1 through a temporary name, so that a failed tool leaves no half file.
made() { mv "$work/tmp.avi" "$out/$1"; }

ff() {  # ff NAME ARGS...: one ffmpeg file from lavfi test sources
    local name=$1
    shift
    ffmpeg -nostdin -v error -y "$@" "$work/tmp.avi" && made "$name"
}
pic() { echo "-f lavfi -i testsrc2=size=${1:-160x120}:rate=${2:-25}:duration=${3:-2}"; }
tone() { echo "-f lavfi -i sine=frequency=${2:-440}:sample_rate=${1:-44100}:duration=${3:-2}"; }

if have ffmpeg; then
    # shellcheck disable=SC2046
    {
        ff ff_mpeg4_mp3.avi $(pic) $(tone) -c:v mpeg4 -vtag XVID -g 12 -c:a libmp3lame -b:a 96k
        ff ff_mpeg4_mp3vbr.avi $(pic) $(tone) -c:v mpeg4 -vtag XVID -g 12 -c:a libmp3lame -q:a 4
        ff ff_mpeg4_ac3_mp3.avi $(pic) $(tone 48000) $(tone 44100 880) -map 0 -map 1 -map 2 \
            -c:v mpeg4 -vtag XVID -g 12 -c:a:0 ac3 -b:a:0 96k -c:a:1 libmp3lame -b:a:1 64k
        ff ff_xvid_packed.avi $(pic) -c:v libxvid -bf 2 -g 12
        ff ff_h264_pcm.avi $(pic) $(tone) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p \
            -c:a pcm_s16le
        ff ff_h264_aac.avi $(pic) $(tone) -c:v libx264 -preset ultrafast -g 25 -pix_fmt yuv420p \
            -c:a aac -b:a 96k
        ff ff_mjpeg_pcm.avi $(pic) $(tone) -c:v mjpeg -q:v 5 -c:a pcm_s16le
        # Slice threads make the encoder write a restart interval and RST markers.
        ff ff_mjpeg_rst.avi $(pic 320x240 25 1) -c:v mjpeg -q:v 5 -threads 4 -thread_type slice
        ff ff_ljpeg.avi $(pic 160x120 25 1) -c:v ljpeg -pix_fmt bgr24
        ff ff_dv_pcm.avi $(pic 720x576 25 1) $(tone 48000 440 1) -c:v dvvideo -pix_fmt yuv420p \
            -c:a pcm_s16le
        ff ff_dv_ntsc.avi $(pic 720x480 30000/1001 0.2) -c:v dvvideo -pix_fmt yuv411p
        ff ff_dv50.avi $(pic 720x576 25 0.12) -c:v dvvideo -pix_fmt yuv422p
        ff ff_dv100.avi $(pic 1440x1080 25 0.12) -c:v dvvideo -pix_fmt yuv422p
        ff ff_ffv1_pcm.avi $(pic) $(tone) -c:v ffv1 -level 3 -slices 4 -slicecrc 1 -g 10 \
            -c:a pcm_s16le
        ff ff_ffv1v1.avi $(pic) -c:v ffv1 -level 1 -g 10
        ff ff_ffv1_nocrc.avi $(pic) -c:v ffv1 -level 3 -slices 6 -slicecrc 0 -g 10
        # The range coder with the encoder's own state table, RGB.
        ff ff_ffv1_rgb.avi $(pic) -c:v ffv1 -level 3 -coder 1 -pix_fmt bgr0 -slices 9 -g 10
        ff ff_huffyuv_adpcm.avi $(pic) $(tone 22050) -c:v huffyuv -c:a adpcm_ms
        ff ff_rawrgb_pcm.avi $(pic 96x72) $(tone) -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le
        ff ff_rawyuv.avi $(pic 96x72) -c:v rawvideo -pix_fmt yuv420p -vtag I420
        ff ff_png.avi $(pic 96x72 10) -c:v png
        ff ff_png_pal.avi $(pic 96x72 10 1) -c:v png -pix_fmt pal8
        ff ff_mpeg2_mp2.avi $(pic) $(tone 48000) -c:v mpeg2video -g 12 -bf 2 -c:a mp2 -b:a 128k
        ff ff_mpeg1_mp2.avi $(pic) $(tone 44100) -c:v mpeg1video -g 12 -c:a mp2 -b:a 128k
        ff ff_msmpeg4v3_mp3.avi $(pic) $(tone) -c:v msmpeg4 -g 25 -c:a libmp3lame -b:a 64k
        ff ff_msmpeg4v2.avi $(pic) -c:v msmpeg4v2 -g 25
        ff ff_wmv1.avi $(pic) -c:v wmv1 -g 25
        ff ff_wmv2.avi $(pic) -c:v wmv2 -g 25
        ff ff_h263.avi $(pic 176x144) -c:v h263 -g 25
        ff ff_h263p.avi $(pic) -c:v h263p -g 25
        ff ff_vp8.avi $(pic) -c:v libvpx -g 25 -b:v 200k
        ff ff_zmbv.avi $(pic 96x72 10) -c:v zmbv -g 10 -pix_fmt bgr0
        ff ff_cinepak.avi $(pic 96x72 10) -c:v cinepak -g 10
        ff ff_mp3_only.avi $(tone) -c:a libmp3lame -b:a 64k
        ff ff_ac3_only.avi $(tone 48000) -c:a ac3 -b:a 96k
        ff ff_pcm_only.avi $(tone) -c:a pcm_s16le
    } || true
fi

if have mencoder && have ffmpeg; then
    # MEncoder's own encoders of MP2 and AC-3 are not usable here: MP2 comes from twolame,
    # AC-3 is copied from a source that has it.
    src=$work/src.avi
    src3=$work/src3.avi
    ffmpeg -nostdin -v error -y $(pic) $(tone) -ac 2 -c:v rawvideo -pix_fmt yuv420p \
        -c:a pcm_s16le "$src"
    ffmpeg -nostdin -v error -y $(pic) $(tone 48000) -ac 2 -c:v rawvideo -pix_fmt yuv420p \
        -c:a ac3 "$src3"
    me() {  # me NAME SOURCE ARGS...
        local name=$1 from=$2
        shift 2
        mencoder -really-quiet "$from" "$@" -o "$work/tmp.avi" >/dev/null 2>&1 && made "$name"
    }
    {
        me me_mpeg4_mp3.avi "$src" -ovc lavc -lavcopts vcodec=mpeg4:keyint=12 -ffourcc XVID \
            -oac mp3lame -lameopts cbr:br=96
        me me_mpeg4_mp3vbr.avi "$src" -ovc lavc -lavcopts vcodec=mpeg4:keyint=12 -oac mp3lame \
            -lameopts vbr=3
        me me_h264_pcm.avi "$src" -ovc x264 -x264encopts keyint=25:preset=ultrafast -oac pcm
        me me_mpeg4_mp2.avi "$src" -ovc lavc -lavcopts vcodec=mpeg4:keyint=12 -oac twolame
        me me_mpeg4_mp2crc.avi "$src" -ovc lavc -lavcopts vcodec=mpeg4:keyint=12 -oac twolame \
            -twolameopts br=160:mode=jstereo:errprot=1
        me me_mjpeg_ac3.avi "$src3" -ovc lavc -lavcopts vcodec=mjpeg -oac copy
    } || true
fi

if have gst-launch-1.0; then
    gst() {  # gst NAME PIPELINE...: "m." is the muxer, the file its sink
        local name=$1
        shift
        gst-launch-1.0 -q "$@" avimux name=m ! filesink location="$work/tmp.avi" >/dev/null 2>&1 &&
            made "$name"
    }
    vsrc="videotestsrc num-buffers=50 ! video/x-raw,width=160,height=120,framerate=25/1"
    asrc="audiotestsrc num-buffers=86 ! audio/x-raw,rate=44100,channels=2"
    # shellcheck disable=SC2086
    {
        gst gst_mjpeg_pcm.avi $vsrc ! jpegenc ! queue ! m. $asrc ! queue ! m.
        gst gst_h264_mp3.avi $vsrc ! x264enc key-int-max=25 ! queue ! m. \
            $asrc ! lamemp3enc target=bitrate bitrate=96 cbr=true ! queue ! m.
        gst gst_mpeg4_mp3.avi $vsrc ! avenc_mpeg4 gop-size=12 ! queue ! m. \
            $asrc ! lamemp3enc ! queue ! m.
        gst gst_mp3_only.avi $asrc ! lamemp3enc target=bitrate bitrate=64 cbr=true ! queue ! m.
        gst gst_pcm_only.avi $asrc ! queue ! m.
        gst gst_raw_pcm.avi videotestsrc num-buffers=50 ! \
            video/x-raw,format=I420,width=160,height=120,framerate=25/1 ! queue ! m. $asrc ! queue ! m.
        gst gst_ac3.avi $vsrc ! jpegenc ! queue ! m. \
            audiotestsrc num-buffers=94 ! audio/x-raw,rate=48000,channels=2 ! avenc_ac3 ! queue ! m.
    } || true
fi

touch "$stamp"
ls "$out" | grep -c '\.avi$' | sed 's/^/media corpus: /; s/$/ files/'
