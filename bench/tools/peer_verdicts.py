#!/usr/bin/env python3
"""Plovik's verdict on AVI files next to what ffmpeg and mediainfo make of them.

    peer_verdicts.py --report build/plovik-report FILE... > verdicts.jsonl

One JSON line per file: Plovik's `--check --format json` status, verdict and finding ids
(with severities) and damaged frames; the count of lines `ffmpeg -v error -i F -f null -`
prints (decoding every stream); whether mediainfo reads it as AVI, with its track counts and
its truncation flag. Run it under `nice -n 19`: ffmpeg decodes every frame.
"""

import argparse
import json
import subprocess
import sys


def plovik(report, path, extra):
    p = subprocess.run([report, "--check", "--format", "json", *extra, path],
                       capture_output=True, text=True, timeout=600)
    try:
        rec = json.loads(p.stdout.splitlines()[0])
    except (IndexError, ValueError):
        return {"exit": p.returncode, "status": "no-output", "stderr": p.stderr[-300:]}
    scan = rec.get("scan") or {}
    return {"exit": p.returncode, "status": rec.get("status"), "verdict": rec.get("verdict"),
            "findings": [f"{f['rule']}:{f['severity']}" for f in rec.get("findings", [])],
            "messages": [f.get("message", "") for f in rec.get("findings", [])],
            "damaged_frames": [(d.get("stream"), d.get("frame"), d.get("reason"))
                               for d in scan.get("damaged_frames", []) or []],
            "frame_check": [s.get("frame_check") for s in rec.get("streams", []) or []],
            "codecs": [s.get("codec") or s.get("fourcc") or s.get("format_tag")
                       for s in rec.get("streams", []) or []]}


def ffmpeg(path):
    try:
        p = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-f", "null", "-"],
                           capture_output=True, text=True, errors="replace", timeout=300)
    except subprocess.TimeoutExpired:
        return {"error_lines": -1, "exit": "timeout"}
    lines = [line for line in p.stderr.splitlines() if line.strip()]
    return {"error_lines": len(lines), "exit": p.returncode, "first": lines[:3]}


def mediainfo(path):
    p = subprocess.run(["mediainfo", "--Output=JSON", path], capture_output=True, text=True,
                       errors="replace", timeout=120)
    try:
        tracks = json.loads(p.stdout)["media"]["track"]
    except (ValueError, KeyError, TypeError):
        return {"parsed": False}
    general = next((t for t in tracks if t.get("@type") == "General"), {})
    kinds = [t.get("@type") for t in tracks]
    return {"parsed": general.get("Format") == "AVI", "format": general.get("Format"),
            "video": kinds.count("Video"), "audio": kinds.count("Audio"),
            "truncated": (general.get("extra") or {}).get("IsTruncated") == "Yes",
            "duration": general.get("Duration")}


def main():
    a = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    a.add_argument("--report", required=True)
    a.add_argument("--quick", action="store_true", help="plovik-report --check --quick")
    a.add_argument("--no-mediainfo", action="store_true")
    a.add_argument("files", nargs="+")
    args = a.parse_args()
    for path in args.files:
        row = {"file": path, "plovik": plovik(args.report, path, ["--quick"] if args.quick else []),
               "ffmpeg": ffmpeg(path)}
        if not args.no_mediainfo:
            row["mediainfo"] = mediainfo(path)
        print(json.dumps(row), flush=True)


if __name__ == "__main__":
    sys.exit(main())
