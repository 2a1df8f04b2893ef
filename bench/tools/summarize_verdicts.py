#!/usr/bin/env python3
"""Tables (Markdown) from peer_verdicts.py output of damaged copies made by avi_damage.py kinds.

    summarize_verdicts.py damaged.jsonl [--details]

Per damage kind: Plovik's verdicts, how many copies ffmpeg prints errors on, how many
mediainfo reads as AVI (and flags truncated), the misses (Plovik ok or warnings only, ffmpeg
errors), the copies Plovik calls damaged while ffmpeg decodes them without a word, and the
finding ids seen. --details lists every miss and every Plovik-only copy.
"""

import argparse
import collections
import json
import os


def kind_of(path):
    return os.path.basename(path).rsplit(".", 2)[-2]


def main():
    a = argparse.ArgumentParser()
    a.add_argument("jsonl")
    a.add_argument("--details", action="store_true")
    args = a.parse_args()
    rows = [json.loads(line) for line in open(args.jsonl)]
    by_kind = collections.OrderedDict()
    for r in sorted(rows, key=lambda r: kind_of(r["file"])):
        by_kind.setdefault(kind_of(r["file"]), []).append(r)
    print("| kind | copies | Plovik damaged / unreadable | warnings | ok | ffmpeg errors | "
          "mediainfo AVI (truncated) | misses | Plovik only | error and warning ids (copies) |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    details = []
    for kind, rs in by_kind.items():
        v = collections.Counter(r["plovik"].get("verdict") for r in rs)
        ff = sum(1 for r in rs if r["ffmpeg"]["error_lines"] != 0)
        mi = sum(1 for r in rs if r.get("mediainfo", {}).get("parsed"))
        mt = sum(1 for r in rs if r.get("mediainfo", {}).get("truncated"))
        misses = [r for r in rs if r["plovik"].get("verdict") in ("ok", "warnings")
                  and r["ffmpeg"]["error_lines"] != 0]
        only = [r for r in rs if r["plovik"].get("verdict") in ("damaged", "unreadable")
                and r["ffmpeg"]["error_lines"] == 0]
        ids = collections.Counter()
        for r in rs:
            for f in set(x.split(":")[0] for x in r["plovik"].get("findings", [])
                         if not x.endswith(":info")):
                ids[f] += 1
        idtext = ", ".join(f"{k} ({n})" for k, n in ids.most_common())
        print(f"| {kind} | {len(rs)} | {v['damaged'] + v['unreadable']} | {v['warnings']} | "
              f"{v['ok']} | {ff} | {mi} ({mt}) | {len(misses)} | {len(only)} | {idtext} |")
        for r in misses:
            details.append(("miss", kind, r))
        for r in only:
            details.append(("plovik-only", kind, r))
    if args.details:
        print()
        for what, kind, r in details:
            p = r["plovik"]
            first = (r["ffmpeg"].get("first") or [""])[0][:110]
            print(f"- {what} {os.path.basename(r['file'])}: Plovik {p.get('verdict')} "
                  f"[{', '.join(p.get('findings', []))}]; ffmpeg {r['ffmpeg']['error_lines']} "
                  f"lines{': ' + first if first else ''}")


if __name__ == "__main__":
    main()
