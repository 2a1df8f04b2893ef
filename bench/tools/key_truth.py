#!/usr/bin/env python3
"""The idx1 key-frame flags of AVI files against the key frames ffmpeg decodes in them.

    key_truth.py FILE...

For each file: the video chunks its idx1 flags key (AVIIF_KEYFRAME), the frames ffprobe
-show_frames decodes as key (matched to chunks by their data position), and both sets
compared: flagged but not decoded key ("wrong"), decoded key but not flagged ("missed").
Run it on repaired copies of files whose index was zeroed to see the key flags a repair
derived from the frames' own bytes.
"""

import json
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from avi_damage import chunk_map  # noqa: E402


def index_keys(data, info):
    """Data positions of the video chunks whose idx1 entry is flagged key; the i-th video
    entry taken for the i-th video chunk of the data (a rebuilt index is in file order)."""
    i = info["idx1"]
    if not i or not info["movi"]:
        return None
    entries = [struct.unpack_from("<4sIII", data, p)
               for p in range(i["pos"] + 8, i["pos"] + 8 + i["size"] - 15, 16)]
    vid = [e for e in entries if e[0][2:] in (b"dc", b"db")]
    stream = int(vid[0][0][:2]) if vid else None
    chunks = [c for c in info["chunks"] if c["stream"] == stream]
    if not vid or len(chunks) != len(vid):
        return None
    return {c["pos"] + 8 for c, e in zip(chunks, vid) if e[1] & 0x10 and e[3] > 0}, \
        sum(1 for e in vid if e[3] > 0)


def decoded_keys(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_frames",
                          "-show_entries", "frame=key_frame,pkt_pos", "-of", "json", path],
                         capture_output=True, text=True).stdout
    frames = json.loads(out or "{}").get("frames", [])
    return {int(f["pkt_pos"]) for f in frames if f.get("key_frame") == 1 and "pkt_pos" in f}


def main():
    print("| file | video chunks | idx1 key flags | decoded key | flagged, not key | key, not flagged |")
    print("|---|---|---|---|---|---|")
    for path in sys.argv[1:]:
        data = open(path, "rb").read()
        got = index_keys(data, chunk_map(data))
        if got is None:
            continue
        flagged, chunks = got
        dec = decoded_keys(path)
        print(f"| {os.path.basename(path)} | {chunks} | {len(flagged)} | {len(dec)} | "
              f"{len(flagged - dec)} | {len(dec - flagged)} |")


if __name__ == "__main__":
    main()
