#!/usr/bin/env python3
"""Damaged copies of AVI files, and the chunk map they are made from.

    avi_damage.py kinds IN OUTDIR [--other FILE]   the ten damage kinds of a file
    avi_damage.py frames IN OUTDIR [--per-stream N] one copy per damaged frame
    avi_damage.py map IN                            the chunk map as JSON

The kinds: cut60 (cut at 60 %), rand4k (4 KiB of random bytes in the middle of the movie
data), zerohdr (bytes 100 to 4000 zeroed: the stream headers), zeroidx1 (the idx1 entries
zeroed), flip (16 bytes inverted in the middle of a video frame's payload), truncidx1 (cut in
the middle of the idx1), garbage (64 KiB of random bytes appended), concat (another file
appended whole), zero64k (the first 64 KiB zeroed), unfinished (what a writer leaves before it
closes the file: cut at 60 %, the RIFF and movi sizes as the file's writer leaves them until
it closes the file, the frame and stream lengths 0; unfinished0 the same with both sizes 0).
A kind that does not apply (no idx1) is left out.

The frames mode writes, for each stream and N frames spread over it, a copy with 4 KiB of
random bytes (fewer in a smaller frame) inside that one frame's payload, chunk headers
untouched: "mid" from a quarter of the payload on, "head" from its first byte (over start
codes and headers). A manifest (frames.json) names stream, frame number and chunk position.
Random bytes are seeded by the file name and kind: the same run writes the same copies.
"""

import argparse
import json
import os
import random
import struct
import sys
import zlib


def le32(data, pos):
    return struct.unpack_from("<I", data, pos)[0]


def chunk_map(data):
    """RIFF parts, hdrl stream types, movi lists, idx1, and the stream chunks in file order."""
    info = {"parts": [], "streams": [], "movi": [], "idx1": None, "chunks": [], "avih": None,
            "strh": []}
    pos = 0
    n = len(data)

    def walk_list(start, end, depth, in_movi, part):
        p = start
        while p + 8 <= end:
            cid = data[p:p + 4]
            size = le32(data, p + 4)
            body = p + 8
            if cid == b"LIST" and body + 4 <= n:
                form = data[body:body + 4]
                sub_end = min(body + size, end, n)
                if form == b"movi":
                    info["movi"].append({"pos": p, "size": size, "part": part})
                    walk_list(body + 4, sub_end, depth + 1, True, part)
                elif form in (b"hdrl", b"strl", b"rec ", b"odml"):
                    if form == b"strl":
                        info["streams"].append({"list": p})
                    walk_list(body + 4, sub_end, depth + 1, in_movi, part)
            elif cid == b"avih":
                info["avih"] = body
            elif cid == b"strh" and info["streams"]:
                info["streams"][-1]["type"] = data[body:body + 4].decode("latin-1")
                info["streams"][-1]["strh"] = body
            elif cid == b"idx1" and depth == 0:
                info["idx1"] = {"pos": p, "size": size}
            elif in_movi and cid[2:4] in (b"dc", b"db", b"wb", b"pc", b"tx") and \
                    cid[:2].isdigit():
                info["chunks"].append({"pos": p, "id": cid.decode("latin-1"), "size": size,
                                       "stream": int(cid[:2])})
            if size > n:  # a placeholder or damaged size: nothing past it is walked
                break
            p = body + size + (size & 1)

    while pos + 12 <= n and data[pos:pos + 4] == b"RIFF":
        size = le32(data, pos + 4)
        form = data[pos + 8:pos + 12].decode("latin-1")
        info["parts"].append({"pos": pos, "size": size, "form": form})
        end = min(pos + 8 + size, n) if size not in (0, 0xFFFFFFFF) else n
        walk_list(pos + 12, end, 0, False, len(info["parts"]) - 1)
        if size in (0, 0xFFFFFFFF) or pos + 8 + size <= pos:
            break
        pos += 8 + size + (size & 1)
    return info


def rng_for(path, kind):
    return random.Random(zlib.crc32((os.path.basename(path) + "/" + kind).encode()))


def video_stream(info):
    for i, s in enumerate(info["streams"]):
        if s.get("type") == "vids":
            return i
    return None


def kinds(path, outdir, other):
    data = open(path, "rb").read()
    info = chunk_map(data)
    base = os.path.splitext(os.path.basename(path))[0]
    out = {}

    def put(kind, blob):
        name = os.path.join(outdir, f"{base}.{kind}.avi")
        with open(name, "wb") as f:
            f.write(blob)
        out[kind] = name

    n = len(data)
    put("cut60", data[:n * 6 // 10])
    movi = info["movi"][0]
    r = rng_for(path, "rand4k")
    mid = movi["pos"] + 12 + max(0, (min(movi["size"], n - movi["pos"]) - 4096) // 2)
    b = bytearray(data)
    b[mid:mid + 4096] = bytes(r.getrandbits(8) for _ in range(min(4096, n - mid)))
    put("rand4k", bytes(b))
    b = bytearray(data)
    b[100:4000] = bytes(len(b[100:4000]))
    put("zerohdr", bytes(b))
    if info["idx1"]:
        p, s = info["idx1"]["pos"], info["idx1"]["size"]
        b = bytearray(data)
        b[p + 8:p + 8 + s] = bytes(len(b[p + 8:p + 8 + s]))
        put("zeroidx1", bytes(b))
        put("truncidx1", data[:p + 8 + (s // 2)])
    v = video_stream(info)
    frames = [c for c in info["chunks"] if c["stream"] == (v if v is not None else 0)
              and c["size"] >= 64]
    if frames:
        c = frames[len(frames) // 2]
        b = bytearray(data)
        at = c["pos"] + 8 + c["size"] // 2 - 8
        for i in range(at, at + 16):
            b[i] ^= 0xFF
        put("flip", bytes(b))
    r = rng_for(path, "garbage")
    put("garbage", data + bytes(r.getrandbits(8) for _ in range(65536)))
    if other:
        put("concat", data + open(other, "rb").read())
    b = bytearray(data)
    b[0:65536] = bytes(len(b[0:65536]))
    put("zero64k", bytes(b))
    # What each writer leaves in the header while it writes (copies taken mid-write):
    # ffmpeg 0xFFFFFFFF in both sizes; GStreamer a RIFF size that ends after the header and
    # an empty movi (size 4); MEncoder a fixed RIFF size and a movi size of -(movi + 8).
    style = {"gst": "gst", "me": "me"}.get(base.split("_")[0], "ff")
    riff, movi_size = {"ff": (0xFFFFFFFF, 0xFFFFFFFF),
                       "gst": (movi["pos"] + 12 - 8, 4),
                       "me": (92308, (-(movi["pos"] + 8)) & 0xFFFFFFFF)}[style]
    for kind, sizes in (("unfinished", (riff, movi_size)), ("unfinished0", (0, 0))):
        b = bytearray(data[:n * 6 // 10])
        struct.pack_into("<I", b, 4, sizes[0])
        struct.pack_into("<I", b, movi["pos"] + 4, sizes[1])
        if info["avih"] is not None:
            struct.pack_into("<I", b, info["avih"] + 16, 0)  # dwTotalFrames
        for s in info["streams"]:
            if "strh" in s:
                struct.pack_into("<I", b, s["strh"] + 32, 0)  # dwLength
        put(kind, bytes(b))
    return out


def frames(path, outdir, per_stream):
    data = open(path, "rb").read()
    info = chunk_map(data)
    base = os.path.splitext(os.path.basename(path))[0]
    manifest = []
    for si, s in enumerate(info["streams"]):
        chunks = [(k, c) for k, c in enumerate(c for c in info["chunks"] if c["stream"] == si)]
        chunks = [(k, c) for k, c in chunks if c["size"] >= 32]
        if not chunks:
            continue
        picks = sorted({chunks[(len(chunks) * (2 * j + 1)) // (2 * per_stream)][0]
                        for j in range(per_stream)})
        by_number = dict(chunks)
        for k in picks:
            c = by_number[k]
            for where in ("mid", "head"):
                r = rng_for(path, f"{si}/{k}/{where}")
                start = c["size"] // 4 if where == "mid" else 0
                length = min(4096, c["size"] - start - (4 if where == "mid" else 0))
                if length <= 0:
                    continue
                b = bytearray(data)
                at = c["pos"] + 8 + start
                b[at:at + length] = bytes(r.getrandbits(8) for _ in range(length))
                name = os.path.join(outdir, f"{base}.s{si}f{k}.{where}.avi")
                with open(name, "wb") as f:
                    f.write(b)
                manifest.append({"file": name, "source": path, "stream": si,
                                 "type": s.get("type"), "frame": k, "chunk": c["pos"],
                                 "where": where, "bytes": length, "frame_size": c["size"]})
    return manifest


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("mode", choices=["kinds", "frames", "map"])
    p.add_argument("input")
    p.add_argument("outdir", nargs="?")
    p.add_argument("--other", help="kinds: the file the concat copy appends")
    p.add_argument("--per-stream", type=int, default=5)
    a = p.parse_args()
    if a.mode == "map":
        info = chunk_map(open(a.input, "rb").read())
        info["chunks"] = len(info["chunks"])
        json.dump(info, sys.stdout, indent=1)
        return
    os.makedirs(a.outdir, exist_ok=True)
    if a.mode == "kinds":
        json.dump(kinds(a.input, a.outdir, a.other), sys.stdout)
    else:
        json.dump(frames(a.input, a.outdir, a.per_stream), sys.stdout)
    print()


if __name__ == "__main__":
    main()
