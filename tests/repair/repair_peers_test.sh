#!/usr/bin/env bash
# Damages copies of real AVI files (cut, index lost or wrong, random bytes in the movie data),
# repairs them with plovik-repair and holds each copy against the damaged input, plovik-report's
# scan and readers of their own: ffprobe, ffmpeg and mediainfo. Then a full disk and a run
# stopped by SIGTERM, which must leave nothing behind.
# Usage: repair_peers_test.sh PLOVIK_REPAIR PLOVIK_REPORT IO_FAULTS_LIBRARY
# (exit 77: a peer is missing)
set -euo pipefail
for peer in ffmpeg ffprobe mediainfo python3; do
    command -v "$peer" >/dev/null || { echo "SKIP: $peer is not installed"; exit 77; }
done
repair=$(realpath "$1")
report=$(realpath "$2")
faults=$(realpath "$3")
data=$(realpath "$(dirname "$0")/../data")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "repair peers test: $*" >&2; exit 1; }

# A plain RIFF reader: nothing of the product's, so that the two cannot agree by sharing a bug.
cat > "$tmp/avi.py" <<'EOF'
import hashlib, json, random, struct, sys

def walk(b, start, end):
    pos, end = start, min(end, len(b))
    while pos + 8 <= end:
        size = struct.unpack_from('<I', b, pos + 4)[0]
        yield pos, bytes(b[pos:pos + 4]), size
        pos += 8 + size + (size & 1)

def top(b, kind):  # (position, data start, end) of each top-level LIST kind or chunk kind
    for pos, fcc, size in walk(b, 0, len(b)):
        if fcc != b'RIFF':
            return
        for p, f, s in walk(b, pos + 12, min(pos + 8 + size, len(b))):
            if f == b'LIST' and b[p + 8:p + 12] == kind:
                yield p, p + 12, p + 8 + s
            elif f == kind:
                yield p, p + 8, p + 8 + s

def is_stream(fcc):
    return fcc[:2].isdigit() and fcc[2:] in (b'dc', b'db', b'wb', b'tx', b'pc')

def stream_chunks(b):  # movie data in file order, "rec " lists opened
    def inner(start, end):
        for pos, fcc, size in walk(b, start, end):
            if fcc == b'LIST':
                yield from inner(pos + 12, pos + 8 + size)
            elif is_stream(fcc):
                yield pos, fcc, size
    for _, start, end in top(b, b'movi'):
        yield from inner(start, end)

def streams(b):  # "00" of the first video stream, "NN" of the last audio one (as the report)
    types = [bytes(b[p + 8:p + 12]) for _, s, e in top(b, b'hdrl') for q, f, n in walk(b, s, e)
             if f == b'LIST' and b[q + 8:q + 12] == b'strl'
             for p, g, _ in walk(b, q + 12, q + 8 + n) if g == b'strh']
    ids = lambda t: [b'%02d' % i for i, x in enumerate(types) if x == t]
    return (ids(b'vids') or [None])[0], (ids(b'auds') or [None])[-1]

def texts(b):  # the data of every ISFT and strn chunk outside the movie data
    def inner(start, end):
        for pos, fcc, size in walk(b, start, end):
            if fcc in (b'LIST', b'RIFF') and b[pos + 8:pos + 12] != b'movi':
                yield from inner(pos + 12, min(pos + 8 + size, end))
            elif fcc in (b'ISFT', b'strn'):
                yield bytes(b[pos + 8:pos + 8 + size])
    yield from inner(0, len(b))

def idx1_keys(b):  # chunk position -> key flag, from the first part's idx1
    chunks = {pos for pos, _, _ in stream_chunks(b)}
    movi = next(top(b, b'movi'))[0] + 8
    for _, start, end in top(b, b'idx1'):
        entries = [struct.unpack_from('<4sIII', b, e) for e in range(start, end - 15, 16)]
        base = movi if entries and entries[0][2] + movi in chunks else 0
        return {off + base: bool(flags & 0x10) for _, flags, off, _ in entries}
    return {}

cmd, args = sys.argv[1], sys.argv[2:]
b = bytearray(open(args[0], 'rb').read())
if cmd == 'points':  # inside the chunk at the middle of the last movie data, its header; idx1
    _, start, end = list(top(b, b'movi'))[-1]
    pos, _, size = next(c for c in stream_chunks(b)
                        if c[0] + 8 + c[2] > (start + end) // 2 and c[2] >= 2)
    print(pos + 8 + size // 2, pos - 16, next(top(b, b'idx1'), [0])[0])
elif cmd == 'parts':  # ORIG OUT: ORIG's movie data in three RIFF parts, no index
    def header(fcc, kind, body):
        return fcc + struct.pack('<I', len(body) + 4) + kind + body
    raw = [bytes(b[p:p + 8 + s + (s & 1)]) for p, _, s in stream_chunks(b)]
    third = [raw[i * len(raw) // 3:(i + 1) * len(raw) // 3] for i in range(3)]
    movi = header(b'LIST', b'movi', b''.join(third[0]))
    out = header(b'RIFF', b'AVI ', bytes(b[12:next(top(b, b'movi'))[0]]) + movi)
    for part in third[1:]:
        out += header(b'RIFF', b'AVIX', header(b'LIST', b'movi', b''.join(part)))
    open(args[1], 'wb').write(out)
elif cmd == 'garbage':  # POS LENGTH: random bytes, the same every run
    pos, n = int(args[1]), int(args[2])
    b[pos:pos + n] = random.Random(7).randbytes(n)
    open(args[0], 'wb').write(b)
elif cmd == 'shift-index':  # every idx1 entry's offset plus N
    _, start, end = next(top(b, b'idx1'))
    for e in range(start, end - 15, 16):
        struct.pack_into('<I', b, e + 8, struct.unpack_from('<I', b, e + 8)[0] + int(args[1]))
    open(args[0], 'wb').write(b)
elif cmd == 'scan':  # plovik-report's JSON: scan figures and the software text
    s = json.loads(b)
    print(s['scan']['video_frames'], s['scan']['empty_frames'], s['scan']['audio_bytes'],
          s['scan']['damaged_region_count'], json.dumps(s['software']))
elif cmd == 'texts':  # ORIG OUT: every text of ORIG is in OUT
    out = open(args[1], 'rb').read()
    found = list(texts(b))
    missing = [t for t in found if t not in out]
    if missing or not found:
        sys.exit(f'texts of the original missing from the output: {missing or "none found"}')
elif cmd == 'chunks':
    # ORIG IN OUT KEYS exact|subset: OUT's stream chunks are IN's (ORIG's layout, IN's bytes,
    # those IN still holds whole), all of them or a subsequence; each kept non-empty video
    # frame has OUT's index entry with the key flag KEYS gives it (K/_ per non-empty frame of
    # ORIG, "-" when not checked). Prints OUT's video frames, empty frames, audio bytes.
    dmg, out = open(args[1], 'rb').read(), open(args[2], 'rb').read()
    video, audio = streams(b)
    want, frame = [], 0
    for pos, fcc, size in stream_chunks(b):
        vframe = fcc[:2] == video and fcc[2:] in (b'dc', b'db') and size > 0
        if pos + 8 + size <= len(dmg):
            want.append((fcc, size, hashlib.sha1(dmg[pos + 8:pos + 8 + size]).digest(),
                         frame if vframe else None))
        frame += vframe
    got = [(pos, fcc, size, hashlib.sha1(out[pos + 8:pos + 8 + size]).digest())
           for pos, fcc, size in stream_chunks(out)]
    keys = None if args[3] == '-' else open(args[3]).read().split()
    index = idx1_keys(out)
    i = 0
    for n, (pos, fcc, size, sha) in enumerate(got):
        while i < len(want) and want[i][:3] != (fcc, size, sha):
            i += 1
        if i == len(want):
            sys.exit(f'output chunk {n} ({fcc.decode()}, {size} bytes at {pos}) is not '
                     'the input\'s next chunk')
        if keys is not None and want[i][3] is not None:
            if pos not in index:
                sys.exit(f'output chunk {n} at {pos} has no index entry')
            if index[pos] != (keys[want[i][3]] == 'K'):
                sys.exit(f'output chunk {n} at {pos}: key flag {index[pos]} in the index, '
                         f'but frame {want[i][3]} of the original is ' +
                         ('key' if keys[want[i][3]] == 'K' else 'not key'))
        i += 1
    if args[4] == 'exact' and len(got) != len(want):
        sys.exit(f'{len(got)} chunks in the output, {len(want)} whole ones in the input')
    vids = [s for _, f, s, _ in got if f[:2] == video and f[2:] in (b'dc', b'db')]
    print(len(vids), vids.count(0), sum(s for _, f, s, _ in got if f == (audio or b'') + b'wb'))
EOF
avi() { python3 "$tmp/avi.py" "$@"; }

# The sources: files of the tests (each with its muxer's software text), and an MPEG-4 Part 2
# and an H.264 file with B-frames made here, with stream names.
mkdir "$tmp/src" "$tmp/in" "$tmp/out"
cp "$data"/{divx_mp3_vki,huffyuv_adpcm,mjpeg_pcm,msmpeg4v2_noaudio}.avi "$tmp/src/"
lavfi=(-f lavfi -i testsrc=size=160x120:rate=25:duration=3
       -f lavfi -i sine=frequency=440:sample_rate=22050:duration=3
       -metadata:s:v:0 title=Camera -metadata:s:a:0 title=Microphone)
ffmpeg -v error "${lavfi[@]}" -c:v mpeg4 -g 12 -b:v 200k -c:a libmp3lame -b:a 32k \
       "$tmp/src/mpeg4_mp3.avi"
ffmpeg -v error "${lavfi[@]}" -c:v libx264 -preset veryfast -g 12 -bf 2 -c:a pcm_s16le \
       "$tmp/src/h264_pcm.avi"
# Several RIFF parts ("AVI ", then "AVIX"), as past 1 GiB, here small and with no index;
# cut in its third part.
avi parts "$tmp/src/mpeg4_mp3.avi" "$tmp/src/three_parts.avi"

damage() {  # KIND SOURCE DAMAGED
    local cut header idx1
    read -r cut header idx1 < <(avi points "$2")
    case $1 in
        cut) head -c "$cut" "$2" > "$3" ;;
        cut-before-index) head -c "$idx1" "$2" > "$3" ;;
        no-index) cp "$2" "$3"; printf JUNK | dd of="$3" bs=1 seek="$idx1" conv=notrunc status=none ;;
        random-bytes) cp "$2" "$3"; avi garbage "$3" "$header" 4096 ;;
        index-off) cp "$2" "$3"; avi shift-index "$3" 2 ;;
    esac
}

video_keys() {  # K or _ for each non-empty video frame, as ffprobe's parser or the index says
    ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 "$1" | cut -c1
}

cases=0
for src in "$tmp"/src/*.avi; do
    name=$(basename "$src" .avi)
    video_keys "$src" > "$tmp/$name.keys"
    kinds=(cut cut-before-index no-index random-bytes index-off)
    [[ $name == three_parts ]] && kinds=(cut)
    for kind in "${kinds[@]}"; do
        in=$tmp/in/$name.$kind.avi out=$tmp/out/$name.$kind.avi what="$name, $kind"
        damage "$kind" "$src" "$in"
        before=$(sha256sum < "$in")
        "$repair" "$in" "$out" > "$tmp/repair.log" 2>&1 ||
            fail "$what: exit $? from plovik-repair: $(cat "$tmp/repair.log")"
        [[ $(sha256sum < "$in") == "$before" ]] || fail "$what: the input changed"
        check=$("$report" --check --scan "$out") || fail "$what: the output does not pass: $check"

        read -r frames empty audio regions software < <("$report" --scan --format json "$in" |
                                                         avi scan /dev/stdin) ||
            fail "$what: no scan of the input"
        read -r oframes _ oaudio oregions osoftware < <("$report" --scan --format json "$out" |
                                                       avi scan /dev/stdin) ||
            fail "$what: no scan of the output"
        [[ "$oframes $oaudio $oregions" == "$frames $audio 0" ]] ||
            fail "$what: the output scans $oframes frames, $oaudio audio bytes, $oregions damaged regions; the input $frames, $audio"
        [[ $osoftware == "$software" ]] || fail "$what: software $osoftware, the input's $software"
        avi texts "$src" "$out" || fail "$what: see above"

        # Key flags as ffprobe reads them in the undamaged original: from its parser for MPEG-4
        # and H.264 (it ignores the index there, in the output too), else from the index. MS
        # MPEG-4 v2 only where the index survives: the repair cannot read its key frames.
        keys=$tmp/$name.keys
        [[ $name == msmpeg4v2* && $kind != random-bytes ]] && keys=-
        exact=exact
        [[ $kind == random-bytes ]] && exact=subset
        read -r cframes cempty caudio < <(avi chunks "$src" "$in" "$out" "$keys" "$exact") ||
            fail "$what: movie data"
        [[ "$cframes $cempty $caudio" == "$frames $empty $audio" ]] ||
            fail "$what: the output's chunks hold $cframes frames ($cempty empty), $caudio audio bytes; the scan of the input $frames ($empty), $audio"

        packets=$(ffprobe -v error -count_packets -select_streams v:0 \
                          -show_entries stream=nb_read_packets -of csv=p=0 "$out")
        ((packets == frames - empty)) || fail "$what: ffprobe reads $packets frames, not $((frames - empty))"
        counted=$(mediainfo --Inform='Video;%FrameCount%' "$out")
        ((counted == frames)) || fail "$what: mediainfo counts $counted frames, not $frames"
        if [[ $kind != random-bytes ]]; then
            errors=$(ffmpeg -v error -i "$out" -f null - 2>&1)
            [[ -z $errors ]] || fail "$what: ffmpeg decodes the output with errors: $errors"
        fi
        echo "ok: $what: $frames frames ($empty empty), $audio audio bytes, $regions damaged regions in the input"
        cases=$((cases + 1))
    done
done

# A full disk (a file size limit, with SIGXFSZ ignored, so that writes fail as on a full
# disk): exit 1, and nothing left in the output folder.
mkdir "$tmp/full"
big=$tmp/in/divx_mp3_vki.no-index.avi
rc=0
(trap '' XFSZ; ulimit -f 64; exec "$repair" "$big" "$tmp/full/out.avi") > "$tmp/repair.log" 2>&1 || rc=$?
((rc == 1)) || fail "full disk: exit $rc, not 1: $(cat "$tmp/repair.log")"
[[ -z $(ls -A "$tmp/full") ]] || fail "full disk: left behind: $(ls -A "$tmp/full")"
echo "ok: full disk: exit 1, nothing left behind"

# SIGTERM in the middle of writing the copy of a larger file (raw frames, no index): stopped,
# nothing left behind. The I/O faults library stops the repair (SIGSTOP) at each write of its
# temporary copy; the signal comes while it stands at the first.
ffmpeg -v error -f lavfi -i color=c=gray:size=640x480:rate=25:duration=2 -c:v rawvideo \
       -pix_fmt bgr24 "$tmp/large.avi"
damage no-index "$tmp/large.avi" "$tmp/in/large.avi"
mkdir "$tmp/stop"
stop=$(realpath "$tmp/stop")
state() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1; }  # T: stopped
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=$faults \
    PLOVIK_STOP_PATH=$stop/out.avi. "$repair" "$tmp/in/large.avi" "$stop/out.avi" \
    > "$tmp/repair.log" 2>&1 &
pid=$!
for ((i = 0; i < 6000; i++)); do  # a minute at most: a hang guard
    s=$(state "$pid")
    [[ $s == [RSD] ]] || break
    sleep 0.01
done
[[ $s == T ]] || fail "the repair did not stop at its first write: $(cat "$tmp/repair.log")"
left=$(ls -A "$tmp/stop")
kill -TERM "$pid"
kill -CONT "$pid"
while s=$(state "$pid"); [[ -n $s && $s != Z ]]; do  # each later write stops it again
    [[ $s == T ]] && kill -CONT "$pid" 2>/dev/null
    sleep 0.01
done
rc=0
wait "$pid" || rc=$?
((rc != 0)) || fail "SIGTERM while writing the copy: exit 0"
[[ -z $(ls -A "$tmp/stop") ]] || fail "SIGTERM: left behind: $(ls -A "$tmp/stop")"
echo "ok: SIGTERM while writing ${left:-nothing}: exit $rc, nothing left behind"
# A read error in the middle of a frame that only the copy reads (the scan passes over raw
# frames): the repair fails and names its byte, also where the kernel copies the data.
read -r middle _ < <(avi points "$tmp/in/large.avi")
rc=0
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 LD_PRELOAD=$faults \
    PLOVIK_FAIL_PATH=$(realpath "$tmp/in/large.avi") PLOVIK_FAIL_AT=$middle PLOVIK_FAIL_LENGTH=16 \
    "$repair" "$tmp/in/large.avi" "$tmp/stop/out.avi" > "$tmp/repair.log" 2>&1 || rc=$?
((rc == 1)) && grep -q "read error at byte $middle (Input/output error)" "$tmp/repair.log" ||
    fail "read error at $middle: exit $rc: $(cat "$tmp/repair.log")"
[[ -z $(ls -A "$tmp/stop") ]] || fail "read error: left behind: $(ls -A "$tmp/stop")"
echo "ok: read error in a frame only the copy reads: exit 1, its byte named"
echo "repair peers: $cases damaged files repaired and checked"
