#!/usr/bin/env python3
"""The Python module against plovik-report and pymediainfo over the same files, wall and CPU.

    /usr/bin/python3 python_vs_report.py --build build [--rounds 5] [--scan] PATH...

PATH is a file or a folder (its .avi files, sorted). Measured, page cache warm, the rounds of
each taken in turn so that a busy machine slows all alike: plovik.inspect over the files from
this process (plovik.check with --scan: the check reads the data); plovik-report --format json
-j 1 over the same list (--check with --scan) in one process; and pymediainfo's
MediaInfo.parse where Debian's python3-pymediainfo is installed. The best wall time and the
CPU time of that run (this process's, or the child's). A benchmark, not a test.
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def files_of(paths):
    out = []
    for p in paths:
        if os.path.isdir(p):
            out += sorted(str(f) for f in Path(p).rglob("*") if f.suffix.lower() == ".avi")
        else:
            out.append(p)
    return out


def timed_self(run):
    c0 = time.process_time()
    t0 = time.perf_counter()
    run()
    return time.perf_counter() - t0, time.process_time() - c0


def timed_child(cmd):
    r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    t = time.perf_counter() - t0
    r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    return t, (r1.ru_utime - r0.ru_utime) + (r1.ru_stime - r0.ru_stime)


def main():
    a = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    a.add_argument("--build", type=Path, required=True)
    a.add_argument("--rounds", type=int, default=5)
    a.add_argument("--scan", action="store_true", help="the data check: plovik.check, --check")
    a.add_argument("--no-mediainfo", action="store_true")
    a.add_argument("paths", nargs="+")
    args = a.parse_args()
    build = args.build.resolve()
    sys.path.insert(0, str(build / "python"))
    import plovik

    files = files_of(args.paths)
    with tempfile.NamedTemporaryFile("wb", delete=False) as lst:
        lst.write(b"".join(f.encode() + b"\0" for f in files))
    report = [str(build / "plovik-report"), "--format", "json", "-j", "1"]
    if args.scan:
        report.append("--check")
    report.append(f"--files0-from={lst.name}")

    def py():
        for f in files:
            try:
                if args.scan:
                    plovik.check(f)
                else:
                    plovik.inspect(f)
            except plovik.Error:
                pass

    runs = {"plovik." + ("check" if args.scan else "inspect"): lambda: timed_self(py),
            "plovik-report -j 1" + (" --check" if args.scan else ""): lambda: timed_child(report)}
    if not args.no_mediainfo:
        try:
            from pymediainfo import MediaInfo
        except ImportError:
            print("pymediainfo not installed: not measured")
        else:
            runs["pymediainfo MediaInfo.parse"] = lambda: timed_self(
                lambda: [MediaInfo.parse(f) for f in files])
    for run in runs.values():  # once each: the page cache and the module warm
        run()
    best = {}
    for _ in range(args.rounds):
        for name, run in runs.items():
            wall, cpu = run()
            if name not in best or wall < best[name][0]:
                best[name] = (wall, cpu)
    os.unlink(lst.name)
    size = sum(os.path.getsize(f) for f in files)
    print(f"{len(files)} files, {size / 1e6:.1f} MB, best of {args.rounds}")
    base = best[next(iter(best))]
    for name, (wall, cpu) in best.items():
        print(f"  {name:34s} wall {wall * 1e3:9.1f} ms  cpu {cpu * 1e3:9.1f} ms  "
              f"{wall / len(files) * 1e6:9.1f} us/file  the module's wall / this {base[0] / wall:6.2f}")


if __name__ == "__main__":
    main()
