"""Inspects, checks and repairs one AVI file with the plovik package.

    python3 inspect_check_repair.py damaged.avi repaired.avi
"""

import sys

import plovik


def main(source, target):
    print("plovik", plovik.__version__)
    try:
        record = plovik.inspect(source)
    except plovik.Error as error:
        sys.exit(f"cannot inspect: {error}")
    video = record["video"] or {}
    print(f"{record['file_name']}: {record['duration_s']} s, video {video.get('codec')}")

    verdict = plovik.check(source)  # the movie data are read too
    print("verdict:", verdict.verdict)
    for finding in verdict.findings:
        print(f"  {finding.severity} {finding.rule}: {finding.message}")

    def progress(done, total):
        print(f"\r{done * 100 // max(total, 1):3d}%", end="", file=sys.stderr)

    try:
        summary = plovik.repair(source, target, progress=progress)
    except plovik.RepairError as error:
        sys.exit(f"\nnot repaired: {error}")
    print(file=sys.stderr)
    print(f"{summary['status']} {target}: {summary['video_frames']} frames kept,"
          f" {summary['bytes_left_out']} bytes left out")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: inspect_check_repair.py IN OUT")
    main(sys.argv[1], sys.argv[2])
