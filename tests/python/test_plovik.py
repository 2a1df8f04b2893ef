"""The plovik package against the command-line tools it stands for, and its own contract:
exceptions for what cannot be analysed, a stop that leaves nothing behind."""

import ast
import json
import os
import signal
import subprocess
import sys
from pathlib import Path

import pytest

import plovik

SOURCE = Path(os.environ.get("PLOVIK_SOURCE_DIR", Path(__file__).parents[2]))
DATA = sorted((SOURCE / "tests" / "data").glob("*.avi"))
CUT = SOURCE / "tests" / "data" / "msmpeg4v2_cut.avi"
REPORT = os.environ.get("PLOVIK_REPORT", "plovik-report")
REPAIR = os.environ.get("PLOVIK_REPAIR", "plovik-repair")


def tool(*args):
    return subprocess.run(args, capture_output=True, check=False).stdout


def same(record, line):
    """The record is what json.loads makes of the line, types and all (1 is not 1.0)."""
    return json.dumps(record) == json.dumps(json.loads(line))


@pytest.mark.parametrize("path", DATA, ids=lambda p: p.name)
def test_inspect_gives_the_json_record_of_plovik_report(path):
    assert same(plovik.inspect(path), tool(REPORT, "--format", "json", path))
    assert same(plovik.inspect(str(path), scan=True),
                tool(REPORT, "--format", "json", "--scan", path))


def test_names_that_need_escapes_come_through_whole(tmp_path):
    whole = (SOURCE / "tests" / "data" / "mjpeg_pcm.avi").read_bytes()
    for name in ["quote\" back\\slash\ttab\nline \u00fc \U0001F3AC.avi".encode(),
                 b"cp949 \xc7\xd1\xb1\xdb.avi", b"\x01control.avi"]:
        path = os.path.join(os.fsencode(tmp_path), name)
        with open(path, "wb") as file:
            file.write(whole)
        assert same(plovik.inspect(path), tool(REPORT, "--format", "json", path)), name


def test_check_reads_the_data_unless_quick():
    full = plovik.check(CUT)
    assert (full.verdict, full.data_checked, full.passed) == ("damaged", True, False)
    assert full.findings[0] == plovik.Finding(
        "riff.truncated", "error", 16384, 26666, "truncated (26666 bytes missing)")
    assert full.record == json.loads(tool(REPORT, "--format", "json", "--check", "--scan", CUT))
    quick = plovik.check(CUT, quick=True)
    assert not quick.data_checked
    assert quick.record == json.loads(tool(REPORT, "--format", "json", "--check", "--quick", CUT))


def test_files_that_give_no_record_raise(tmp_path):
    text = tmp_path / "text.avi"
    text.write_bytes(b"not a movie at all")
    with pytest.raises(plovik.NotAviError) as raised:
        plovik.inspect(text)
    assert raised.value.record["status"] == "not_avi"
    assert plovik.check(text).verdict == "unreadable"
    for call in (plovik.inspect, plovik.check):
        with pytest.raises(plovik.OpenError) as raised:
            call(tmp_path / "missing.avi")
        assert isinstance(raised.value, OSError) and "No such file" in str(raised.value)
    with pytest.raises(plovik.ArgumentError):
        plovik.inspect("")
    with pytest.raises(TypeError):
        plovik.inspect(42)


def test_every_cut_of_a_file_gives_a_record_or_a_plovik_error(tmp_path):
    whole = (SOURCE / "tests" / "data" / "divx_mp3_vki.avi").read_bytes()
    part = tmp_path / "part.avi"
    for end in list(range(0, 600, 7)) + list(range(600, len(whole), 997)):
        part.write_bytes(whole[:end])
        try:
            assert plovik.inspect(part, scan=True)["file_size"] == end
        except plovik.Error:
            pass
        assert plovik.check(part).verdict in ("unreadable", "damaged", "warnings")


def test_repair_gives_the_summary_of_plovik_repair(tmp_path):
    out = tmp_path / "fixed.avi"
    planned = plovik.repair(CUT, out, dry_run=True)
    assert planned == json.loads(tool(REPAIR, "--dry-run", "--format", "json", CUT, out))
    assert not out.exists()
    calls = []
    written = plovik.repair(CUT, out, progress=lambda done, total: calls.append((done, total)))
    assert written["status"] == "written" and calls
    assert plovik.check(out).verdict == "ok"
    with pytest.raises(plovik.RefusedError) as refused:
        plovik.repair(CUT, out)
    assert refused.value.summary["status"] == "refused"
    assert plovik.repair(CUT, out, force=True)["status"] == "written"
    with pytest.raises(plovik.NotRepairableError):
        plovik.repair(SOURCE / "README.md", tmp_path / "readme.avi")
    lost = tmp_path / "lost.avi"
    lost.write_bytes(b"RIFX" + CUT.read_bytes()[4:])
    with pytest.raises(plovik.NotRepairableError, match="reference"):
        plovik.repair(lost, tmp_path / "other.avi", reference=tmp_path / "missing.avi")


def interrupt(done, total):
    os.kill(os.getpid(), signal.SIGINT)


@pytest.mark.parametrize("stop", [interrupt, lambda done, total: 1 / 0],
                         ids=["ctrl-c", "exception"])
def test_a_stop_ends_the_repair_and_leaves_nothing(tmp_path, stop):
    raised = KeyboardInterrupt if stop is interrupt else ZeroDivisionError
    with pytest.raises(raised):
        plovik.repair(CUT, tmp_path / "fixed.avi", progress=stop)
    with pytest.raises(raised):
        plovik.check(CUT, progress=stop)
    assert list(tmp_path.iterdir()) == []


def test_the_archivematica_answer_is_a_python_literal_of_strings(tmp_path):
    odd = tmp_path / "it's \\ \"a\"\nb \u00fc.avi"
    odd.write_bytes(b"no movie")
    run = subprocess.run([REPORT, "--check", "--format", "archivematica", odd],
                         capture_output=True, check=False)
    answer = ast.literal_eval(run.stdout.decode())
    assert run.returncode == 0 and answer["eventOutcomeInformation"] == "fail"
    assert answer["eventOutcomeDetailNote"].endswith("b \u00fc.avi: not an AVI file [file.not_avi]")
    assert all(isinstance(value, str) for value in answer.values())


def test_version_and_rules_are_those_of_plovik_report():
    assert tool(REPORT, "--version").decode().split() == ["plovik-report", plovik.__version__]
    listed = tool(REPORT, "--list-rules", "--format", "json").decode().splitlines()
    assert plovik.rules() == [json.loads(line) for line in listed]


def test_the_python_example_inspects_checks_and_repairs(tmp_path):
    example = SOURCE / "docs" / "examples" / "inspect_check_repair.py"
    run = subprocess.run([sys.executable, example, CUT, tmp_path / "fixed.avi"],
                         capture_output=True, text=True, check=True)
    assert "verdict: damaged" in run.stdout and "written" in run.stdout
    assert plovik.check(tmp_path / "fixed.avi").verdict == "ok"
