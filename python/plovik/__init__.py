"""Plovik: AVI files inspected, checked and repaired without decoding any media.

    >>> import plovik
    >>> record = plovik.inspect("clip.avi")            # the JSON record of plovik-report
    >>> verdict = plovik.check("clip.avi")              # reads the movie data too
    >>> verdict.verdict, [f.rule for f in verdict.findings]
    >>> plovik.repair("clip.avi", "fixed.avi")          # the summary of plovik-repair

The work runs with the interpreter lock released, so threads analyse files in parallel;
Ctrl+C (KeyboardInterrupt) ends a long scan or repair, leaving no output behind. Files that
cannot be analysed raise plovik.Error subclasses.
"""

import os
from dataclasses import dataclass, field
from typing import Callable, Optional, Tuple

from . import _plovik

__all__ = [
    "inspect", "check", "repair", "rules", "Verdict", "Finding", "Error", "ArgumentError",
    "OpenError", "NotAviError", "FormatError", "ReadError", "RepairError", "RefusedError",
    "NotRepairableError",
]

__version__ = _plovik.version()


class Error(Exception):
    """A file Plovik could not analyse or repair. record (or summary) holds what it found."""

    def __init__(self, message, record=None):
        super().__init__(message)
        self.record = record


class ArgumentError(Error, ValueError):
    """An argument Plovik cannot use (an empty path)."""


class OpenError(Error, OSError):
    """The file cannot be opened; the message has the system's reason."""


class NotAviError(Error):
    """The file is not a RIFF AVI file."""


class FormatError(Error):
    """The file's header list or main header cannot be read."""


class ReadError(Error, OSError):
    """A read of the file failed; the record holds what was read before."""


class RepairError(Error):
    """The repair failed: reading, writing or checking the copy. summary says how far it came."""

    @property
    def summary(self):
        return self.record


class RefusedError(RepairError):
    """The output is the input, or exists and force was not given."""


class NotRepairableError(RepairError):
    """The input holds nothing to repair from (not AVI, no header list, no stream data)."""


_ERRORS = {
    _plovik.ERROR_ARGUMENT: ArgumentError,
    _plovik.ERROR_NO_MEMORY: MemoryError,
    _plovik.ERROR_OPEN: OpenError,
    _plovik.ERROR_NOT_AVI: NotAviError,
    _plovik.ERROR_HEADER: FormatError,
    _plovik.ERROR_READ: ReadError,
    _plovik.ERROR_REFUSED: RefusedError,
    _plovik.ERROR_NOT_REPAIRABLE: NotRepairableError,
    _plovik.ERROR_REPAIR_FAILED: RepairError,
    _plovik.ERROR_UNSUPPORTED: NotImplementedError,
}


def _raise(status, message, found=None):
    error = _ERRORS.get(status, Error)
    if issubclass(error, Error):
        raise error(message, found)
    raise error(message)


@dataclass(frozen=True)
class Finding:
    """A rule of the check that fired: where (a byte position, a region's length) and what."""

    rule: str
    severity: str  # "error", "warning", "info"
    position: Optional[int]
    length: Optional[int]
    message: str


@dataclass(frozen=True)
class Verdict:
    """What the check makes of a file: "ok", "warnings", "damaged" or "unreadable"."""

    verdict: str
    findings: Tuple[Finding, ...]
    data_checked: bool  # the movie data were read (not with quick=True)
    record: dict = field(repr=False, compare=False)  # the whole record, with the check

    @property
    def passed(self) -> bool:
        """ok or only warnings: what plovik-report --check counts as a success."""
        return self.verdict in ("ok", "warnings")


def _open(path, scan, record_flags, progress):
    """The record of the file at path, and what became of the file."""
    status, message, failure, reason, record = _plovik.open(
        os.fsencode(path), scan, record_flags, progress)
    if status != _plovik.OK:
        _raise(status, message)
    return failure, reason, record


def inspect(path, scan=False, progress: Optional[Callable] = None) -> dict:
    """The record of the AVI file at path, as plovik-report --format json writes it (with
    --scan, the movie data read too). Raises OpenError, NotAviError, FormatError or ReadError
    when the file gives no full record. progress is as repair's, for the scan."""
    failure, reason, record = _open(path, scan, 0, progress)
    if failure != _plovik.OK:
        _raise(failure, f"{os.fsdecode(path)}: {reason}", record)
    return record


def check(path, quick=False, progress: Optional[Callable] = None) -> Verdict:
    """The check of plovik-report --check: the headers, the index and, unless quick, the
    movie data. A file that can be opened always gets a verdict ("unreadable" for one that is
    not AVI); one that cannot raises OpenError. progress is as repair's, for the scan."""
    failure, reason, record = _open(path, not quick, _plovik.RECORD_CHECK, progress)
    if failure == _plovik.ERROR_OPEN:
        _raise(failure, f"{os.fsdecode(path)}: {reason}", record)
    findings = tuple(Finding(**finding) for finding in record["findings"])
    return Verdict(record["verdict"], findings, record["data_checked"], record)


def repair(src, dst, reference=None, dry_run=False, progress: Optional[Callable] = None,
           force=False) -> dict:
    """Writes a repaired copy of src to dst, as plovik-repair does: dst appears whole and
    checked, or not at all. dry_run plans only; force replaces an existing dst. progress, if
    given, is called now and then with (bytes done, bytes to do); an exception it raises
    stops the repair and is raised again. reference, for a src whose headers are lost, is a
    file recorded the same way whose header list rebuilds them (plovik-repair --reference).
    Returns the summary of plovik-repair --format json; raises RefusedError,
    NotRepairableError or RepairError (with the summary) otherwise."""
    flags = (_plovik.REPAIR_DRY_RUN if dry_run else 0) | (_plovik.REPAIR_FORCE if force else 0)
    ref = None if reference is None else os.fsencode(reference)
    status, message, summary = _plovik.repair(os.fsencode(src), os.fsencode(dst), ref, flags,
                                              progress)
    if status != _plovik.OK:
        _raise(status, message, summary)
    return summary


_SEVERITIES = {
    _plovik.SEVERITY_ERROR: "error",
    _plovik.SEVERITY_WARNING: "warning",
    _plovik.SEVERITY_INFO: "info",
}


def rules() -> list:
    """The rules of the check, as plovik-report --list-rules --format json lists them: dicts
    of id, severity and summary."""
    return [{"id": rule, "severity": _SEVERITIES[severity], "summary": summary}
            for rule, severity, summary in _plovik.rules()]
