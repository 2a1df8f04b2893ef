#!/usr/bin/env python3
"""Per codec: damaged frames Plovik's frame checkers name against those ffmpeg complains about.

    summarize_frames.py frames-manifest.jsonl frames.jsonl orig.jsonl [--by-codec]

The manifest is avi_damage.py frames output (one JSON list per source file), frames.jsonl and
orig.jsonl are peer_verdicts.py output for the copies and for their sources. A copy holds one
damaged frame; Plovik found it when its JSON lists that stream and frame number as damaged
(elsewhere: another frame or another finding only); ffmpeg found it when it prints more error
lines than on the source.
"""

import collections
import json
import os
import sys


def main():
    manifest = {}
    for line in open(sys.argv[1]):
        for m in json.loads(line):
            manifest[m["file"]] = m
    orig = {}
    for line in open(sys.argv[3]):
        r = json.loads(line)
        orig[r["file"]] = r
    rows = collections.OrderedDict()
    for line in open(sys.argv[2]):
        r = json.loads(line)
        m = manifest[r["file"]]
        src = orig[m["source"]]
        codecs = src["plovik"].get("codecs") or []
        codec = codecs[m["stream"]] if m["stream"] < len(codecs) else "?"
        depth = src["plovik"]["frame_check"][m["stream"]] if m["stream"] < len(
            src["plovik"]["frame_check"]) else "?"
        key = (os.path.basename(m["source"]), f"{m['stream']} {codec}", depth, m["where"])
        p = r["plovik"]
        exact = any(d[0] == m["stream"] and d[1] == m["frame"] for d in p["damaged_frames"])
        flagged = p.get("verdict") in ("damaged", "unreadable")
        ff = r["ffmpeg"]["error_lines"] > src["ffmpeg"]["error_lines"]
        c = rows.setdefault(key, collections.Counter())
        c["copies"] += 1
        c["exact"] += exact
        c["other"] += flagged and not exact
        c["ffmpeg"] += ff
        c["both"] += ff and flagged
        c["plovik_only"] += flagged and not ff
        c["ffmpeg_only"] += ff and not flagged
    if "--by-codec" in sys.argv:
        agg = collections.OrderedDict()
        for (name, stream, depth, where), c in sorted(rows.items(),
                                                      key=lambda kv: kv[0][1].split()[1]):
            codec = stream.split(" ", 1)[1]
            agg.setdefault((codec, depth), collections.Counter())
            agg[(codec, depth)].update({f"{where}_{k}": v for k, v in c.items()})
        print("| codec | frame_check | copies head / mid | Plovik named the frame, head / mid | "
              "ffmpeg errors, head / mid | Plovik only | ffmpeg only |")
        print("|---|---|---|---|---|---|---|")
        for (codec, depth), c in agg.items():
            print(f"| {codec} | {depth} | {c['head_copies']} / {c['mid_copies']} | "
                  f"{c['head_exact']} / {c['mid_exact']} | {c['head_ffmpeg']} / {c['mid_ffmpeg']} | "
                  f"{c['head_plovik_only'] + c['mid_plovik_only']} | "
                  f"{c['head_ffmpeg_only'] + c['mid_ffmpeg_only']} |")
        return
    print("| file | stream | frame_check | bytes at | copies | Plovik: that frame | Plovik: "
          "other finding only | ffmpeg errors | both | Plovik only | ffmpeg only |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for (name, stream, depth, where), c in rows.items():
        print(f"| {name} | {stream} | {depth} | {where} | {c['copies']} | {c['exact']} | "
              f"{c['other']} | {c['ffmpeg']} | {c['both']} | {c['plovik_only']} | "
              f"{c['ffmpeg_only']} |")


if __name__ == "__main__":
    main()
