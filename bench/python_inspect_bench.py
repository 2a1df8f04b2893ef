"""plovik.inspect over the 5,000 small files of the batch benchmarks, from one Python process,
against plovik-report --format json over the same folder (target: at most 2 times its time)
and, where Debian's python3-pymediainfo is installed, against pymediainfo's MediaInfo.parse.
A benchmark, not a test: it prints times and ratios and fails nothing.

    make build && python3 bench/python_inspect_bench.py [--build build] [--rounds 5]

Run it with Debian's /usr/bin/python3, the interpreter the module is built for.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def best_of(rounds, run):
    """The shortest wall time of rounds runs, in seconds."""
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=Path(__file__).parents[1] / "build",
                        help="the build tree (default: build/)")
    parser.add_argument("--rounds", type=int, default=5, help="runs of each, the best counts")
    args = parser.parse_args()
    build = args.build.resolve()
    sys.path.insert(0, str(build / "python"))
    import plovik

    with tempfile.TemporaryDirectory() as folder:
        subprocess.run([build / "bench" / "plovik_batch_files", folder], check=True)
        paths = sorted(str(Path(folder) / name) for name in os.listdir(folder))

        def report(jobs):
            subprocess.run([build / "plovik-report", "--format", "json", "-j", str(jobs), folder],
                           stdout=subprocess.DEVNULL, check=False)

        def inspect_all():
            for path in paths:
                try:
                    plovik.inspect(path)
                except plovik.Error:  # the cut files among them give only a message
                    pass

        # Once first, so that every run reads from the page cache.
        report(1)
        times = {
            "plovik-report --format json -j 1": best_of(args.rounds, lambda: report(1)),
            f"plovik-report --format json -j {os.cpu_count()}":
                best_of(args.rounds, lambda: report(os.cpu_count())),
            "plovik.inspect": best_of(args.rounds, inspect_all),
        }
        try:
            from pymediainfo import MediaInfo
        except ImportError:
            print("pymediainfo not installed (Debian's python3-pymediainfo): not measured")
        else:
            times["pymediainfo MediaInfo.parse"] = best_of(
                max(1, args.rounds // 5), lambda: [MediaInfo.parse(path) for path in paths])

    print(f"{len(paths)} files, best of {args.rounds} runs (pymediainfo: fewer)")
    for name, seconds in times.items():
        print(f"  {name:40s} {seconds * 1000:9.1f} ms  {seconds / len(paths) * 1e6:8.1f} us/file")
    inspect = times["plovik.inspect"]
    for name, seconds in times.items():
        if name != "plovik.inspect":
            print(f"plovik.inspect / {name}: {inspect / seconds:.2f}")


if __name__ == "__main__":
    main()
