"""Progress and outcomes of a script's file transfers (Linux).

The library runs a script's file sections on a thread of its own and reports
to a QvnWindow record: progress messages, one outcome message per entry, and
a last message once every entry has ended. One ctypes callback serves the
whole process (it is never freed, so no call can outlive it); each Script
call registers a Watch under its own context number until its last message.
"""

from __future__ import annotations

import ctypes
import enum
import itertools
import threading
import traceback
import warnings
from dataclasses import dataclass, field
from typing import Any, Callable, Optional

from . import _library

WM_TRANSFER_PROGRESS = 5266
WM_TRANSFERS_DONE = 5267
WM_TRANSFER_OUTCOME = 5268
CANCEL_TRANSFERS = 0x51564E43

CANCEL = "cancel"
"""Returned by a progress callback: ends the running transfer at once and starts no
further entry of the same script."""


class TransferStatus(enum.IntEnum):
    """How an entry ended (QvnTransferOutcome.status)."""

    COMPLETED = 0  # every block went through (download: the file is in place)
    FAILED = 1  # refused, connection lost, target or source unusable
    SKIPPED = 2  # upload whose local file is missing or not a file
    TIMED_OUT = 3  # QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS or QVN_OPERATION_TIMEOUT_MS ran out
    CANCELLED = 4  # a progress callback returned qvn.CANCEL
    NOT_STARTED = 5  # an earlier entry was cancelled or could not connect


@dataclass(frozen=True)
class Progress:
    """One progress report of a transfer: after every tenth block and at its end."""

    client_file: str
    server_file: str  # with its "..\\" or ".@\\" prefix
    size: int
    count: int  # bytes moved so far; equal to size in the final report
    percent: float
    direction: str  # "Upload" or "Download"
    index: int  # the transfer's number, as in its outcome

    @property
    def upload(self) -> bool:
        return self.direction == "Upload"

    @property
    def complete(self) -> bool:
        return self.count == self.size

    @classmethod
    def parse(cls, text: str) -> "Progress":
        """Reads "client*server*size*count*percent%*tag*index*Upload|Download".

        File names may hold "*": the six fixed fields are taken from the right,
        and the rest is split at the first "*" followed by "..\\" or ".@\\" (the
        server name's prefix), else at its first "*". A client path that itself
        holds "*..\\" cannot be told apart and is cut there.
        """
        parts = text.rsplit("*", 6)
        if len(parts) != 7:
            raise ValueError(f"not a progress text: {text!r}")
        names, size, count, percent, _tag, index, direction = parts
        cut = min((i for i in (names.find("*..\\"), names.find("*.@\\")) if i >= 0), default=-1)
        if cut < 0:
            cut = names.find("*")
        client, server = (names[:cut], names[cut + 1:]) if cut >= 0 else (names, "")

        def number(s: str) -> int:
            try:
                return int(s)
            except ValueError:
                return 0

        size_, count_ = number(size), number(count)
        try:  # the locale's decimal separator
            share = float(percent.rstrip("%").replace(",", "."))
        except ValueError:
            share = 100.0 * count_ / size_ if size_ else 100.0
        return cls(client, server, size_, count_, share, direction, number(index))


@dataclass(frozen=True)
class Outcome:
    """How one file entry of a script ended."""

    client_file: str
    server_file: str  # with its "..\\" or ".@\\" prefix
    upload: bool
    status: TransferStatus
    reason: str  # "" when completed, else a short English cause
    index: int  # as in the entry's progress reports; 0 when no transfer began

    @property
    def completed(self) -> bool:
        return self.status == TransferStatus.COMPLETED


@dataclass
class Report:
    """What became of a script's transfers."""

    begun: int = 0  # entries a transfer was begun for
    failed: int = 0  # entries that did not complete
    outcomes: list[Outcome] = field(default_factory=list)  # in script order


ProgressCallback = Callable[[Progress], Any]


class _Outcome(ctypes.Structure):
    _fields_ = [
        ("client_file", ctypes.c_void_p),
        ("server_file", ctypes.c_void_p),
        ("upload", ctypes.c_int32),
        ("status", ctypes.c_int32),
        ("reason", ctypes.c_void_p),
    ]


_PROC = ctypes.CFUNCTYPE(ctypes.c_ssize_t, ctypes.c_void_p, ctypes.c_uint32, ctypes.c_size_t,
                         ctypes.c_ssize_t)


class _Window(ctypes.Structure):
    _fields_ = [("proc", _PROC), ("context", ctypes.c_void_p)]


class Watch:
    """One Script call's view of its transfer thread, registered until its last message."""

    def __init__(self, progress: Optional[ProgressCallback]) -> None:
        self.progress = progress
        self.cancel = False
        self.report = Report()
        self._done = threading.Event()
        with _watches_lock:
            self.context = next(_contexts)
            _watches[self.context] = self
        self.window = _Window(_proc, self.context)

    def forget(self) -> None:
        """No thread will call for this watch (none was started)."""
        with _watches_lock:
            _watches.pop(self.context, None)

    def wait(self) -> Report:
        """Blocks until the last message. If the wait is interrupted (Ctrl-C), the
        transfers are cancelled at their next progress report."""
        try:
            self._done.wait()
        except BaseException:
            self.cancel = True
            raise
        return self.report

    def _on_progress(self, text: str) -> int:
        if not self.cancel and self.progress is not None:
            try:
                if self.progress(Progress.parse(text)) == CANCEL:
                    self.cancel = True
            except Exception:  # never into the library's thread
                warnings.warn("qvn: the progress callback raised (the transfers go on):\n"
                              + traceback.format_exc(), RuntimeWarning, stacklevel=1)
        return CANCEL_TRANSFERS if self.cancel else 0

    def _on_outcome(self, wparam: int, outcome: _Outcome) -> None:
        try:
            status = TransferStatus(outcome.status)
        except ValueError:  # a status this binding does not know yet
            status = TransferStatus.FAILED
        self.report.outcomes.append(Outcome(
            _library.read_text(outcome.client_file), _library.read_text(outcome.server_file),
            outcome.upload != 0, status, _library.read_text(outcome.reason),
            ctypes.c_int32(wparam).value))

    def _on_done(self, begun: int, failed: int) -> None:
        try:
            self.report.begun, self.report.failed = begun, failed
            self.forget()
        finally:
            self._done.set()


_watches: dict[int, Watch] = {}
_watches_lock = threading.Lock()
_contexts = itertools.count(1)


def _dispatch(context: Optional[int], message: int, wparam: int, lparam: int) -> int:
    with _watches_lock:
        watch = _watches.get(context or 0)
    if watch is None:
        return 0
    try:
        if message == WM_TRANSFER_PROGRESS and lparam:
            return watch._on_progress(_library.read_text(lparam))
        if message == WM_TRANSFER_OUTCOME and lparam:
            watch._on_outcome(wparam, _Outcome.from_address(lparam))
        elif message == WM_TRANSFERS_DONE:
            watch._on_done(wparam, lparam)
    except Exception:  # a fault of the binding itself: say so, never raise into C
        traceback.print_exc()
    return 0


# Never freed: the library's thread may call it until its last message returns.
_proc = _PROC(_dispatch)
