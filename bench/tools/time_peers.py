#!/usr/bin/env python3
"""Wall time of `plovik-report --check` and of `ffmpeg -v error -f null -` on each file.

    time_peers.py --report build/plovik-report [--rounds 5] FILE...

Prints a Markdown table: size, the best of ROUNDS runs of each (page cache warm: one run of
each first), and their ratio. A benchmark, not a test; run it under `nice -n 19`.
"""

import argparse
import os
import subprocess
import time


def best(rounds, cmd):
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times = []
    for _ in range(rounds):
        t = time.perf_counter()
        subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--report", required=True)
    a.add_argument("--rounds", type=int, default=5)
    a.add_argument("files", nargs="+")
    args = a.parse_args()
    print("| file | MB | plovik-report --check ms | ffmpeg -f null ms | ratio |")
    print("|---|---|---|---|---|")
    for f in args.files:
        p = best(args.rounds, [args.report, "--check", f])
        q = best(args.rounds, ["ffmpeg", "-nostdin", "-v", "error", "-i", f, "-f", "null", "-"])
        print(f"| {os.path.basename(f)} | {os.path.getsize(f) / 1e6:.2f} | {p * 1e3:.1f} | "
              f"{q * 1e3:.1f} | {p / q:.3f} |", flush=True)


if __name__ == "__main__":
    main()
