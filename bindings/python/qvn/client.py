"""qvn.Client: the server commands, scripts and file transfers."""

from __future__ import annotations

import ctypes
import os
import sys
import warnings
from typing import Optional, Union

from . import _answers, _library, _sections, errors
from .errors import TransferFailed
from .transfers import ProgressCallback, Report, Watch

PathLike = Union[str, "os.PathLike[str]"]


def set_timeouts(connect_ms: int, io_ms: Optional[int] = None,
                 operation_ms: Optional[int] = None) -> None:
    """Sets the time-outs of every connection of this process, in milliseconds (0 to
    999999999, 0: no limit; io_ms defaults to connect_ms, operation_ms is left as it is
    unless given).

    QVN_CONNECT_TIMEOUT_MS bounds each TCP connect, QVN_IO_TIMEOUT_MS each wait for
    the server (a reply, a file block), QVN_OPERATION_TIMEOUT_MS each whole request
    and each whole file entry. They are process-wide environment variables
    that the library reads once, at its first connection: set them before any call
    (a later setting may change nothing, and a RuntimeWarning says so). A time-out
    that runs out is an ordinary failure: ConnectionFailed, NoAnswer, False, or a
    failed transfer.
    """
    values = (connect_ms, connect_ms if io_ms is None else io_ms) + (
        () if operation_ms is None else (operation_ms,))
    if any(not isinstance(v, int) or not 0 <= v <= 999_999_999 for v in values):
        raise ValueError(f"time-outs are milliseconds from 0 to 999999999, not {values}")
    if _library.calls_made:
        warnings.warn("qvn: the library reads its time-outs once, at its first connection; "
                      "set them before the first call", RuntimeWarning, stacklevel=2)
    for name, value in zip(_library.TIMEOUT_VARIABLES, values):
        os.environ[name] = str(value)  # also the C environment (putenv)
        # The DLL's C runtime is not Python's: the process block too. (The test is
        # sys.platform's own, which type checkers know ctypes.windll by.)
        if sys.platform == "win32":
            ctypes.windll.kernel32.SetEnvironmentVariableW(name, str(value))


# The exports whose answers the table's "*" rows cover (Script has its own).
_COMMANDS = frozenset(("ShowDbName", "TryDbPassword", "ChangeUniquePass", "DbMessagePipe",
                       "DbMessageFile", "DbMessageTcp", "UserAuthentication"))


def _check_answer(call: str, answer: str, where: str) -> str:
    """Raises the failure that bindings/answers.tsv names for this answer, else
    returns the answer (data)."""
    key = answer.strip()
    found = _answers.ANSWERS.get((call, key))
    if found is None and call in _COMMANDS:
        found = _answers.ANSWERS.get(("*", key))
    if found is not None and found[0] is not None:
        failure: type[errors.Error] = getattr(errors, found[0])
        raise failure(f"{call} to {where}: {key or 'the empty answer'}: {found[1]}")
    return answer


def _port(value: Optional[int], variable: str, default: int) -> int:
    if value is None:
        value = int(os.environ.get(variable) or default)
    if not isinstance(value, int) or not 0 <= value <= 65535:
        raise ValueError(f"a port is 0 to 65535, not {value!r}")
    return value


class Client:
    """A Quarven database server: its host, request port and file port.

    Arguments left as None come from the environment variables QVN_HOST, QVN_PORT
    and QVN_FILE_PORT, else default to "127.0.0.1", 7711 and 7712. A file port of
    0 transfers no files.

    timeout_ms, when given, sets QVN_CONNECT_TIMEOUT_MS and QVN_IO_TIMEOUT_MS: these
    are process-wide and read once, at the library's first connection, so give it
    to the first Client, before any call (see qvn.set_timeouts).

    The library keeps no state: every call opens its own connections, and a
    Client may be used from several threads at once.
    """

    def __init__(self, host: Optional[str] = None, port: Optional[int] = None,
                 file_port: Optional[int] = None, timeout_ms: Optional[int] = None) -> None:
        self.host: str = host if host is not None else os.environ.get("QVN_HOST") or "127.0.0.1"
        self.port: int = _port(port, "QVN_PORT", 7711)
        self.file_port: int = _port(file_port, "QVN_FILE_PORT", 7712)
        if timeout_ms is not None:
            set_timeouts(timeout_ms)

    def __repr__(self) -> str:
        return f"qvn.Client(host={self.host!r}, port={self.port}, file_port={self.file_port})"

    def _command(self, name: str, *arguments: object) -> str:
        answer: str = _library.call(name, self.host, self.port, *arguments)
        return _check_answer(name, answer, f"{self.host}:{self.port}")

    def try_connect(self, timeout_ms: int = 5000) -> bool:
        """Whether a TCP connection to the request port can be made within timeout_ms
        (negative: no limit). Sends no data."""
        return bool(_library.call("TryConnect", self.host, self.port, timeout_ms))

    def db_name(self) -> str:
        """The database's name. Raises ConnectionFailed."""
        return self._command("ShowDbName")

    def check_password(self, credentials: str) -> str:
        """The server's reply to a credentials line "dbpassword@user@userpassword":
        "OK" or "DENIED" (an answer, not a failure). Raises ConnectionFailed."""
        return self._command("TryDbPassword", credentials)

    def change_password(self, db_password: str, user: str, user_password: str,
                        new_password: str) -> str:
        """Changes a user's password (sent encrypted under both passwords); the server's
        reply ("OK"). Raises Refused on DENIED (the password was not changed) and
        ConnectionFailed."""
        return self._command("ChangeUniquePass", db_password, user, user_password, new_password)

    def authenticate(self, user: str, password: str) -> str:
        """The server's answer for this user, decrypted under the user's key. Raises
        Refused for an unknown user or a wrong password (the empty answer) and
        ConnectionFailed."""
        return self._command("UserAuthentication", user, password)

    def message_pipe(self, text: str) -> str:
        """Hands the server a message for its pipe; its reply. Raises ConnectionFailed."""
        return self._command("DbMessagePipe", text)

    def message_file(self, text: str) -> str:
        """Hands the server a message for its message file; its reply. Raises
        ConnectionFailed."""
        return self._command("DbMessageFile", text)

    def message_tcp(self, receiver_host: str, receiver_port: int, text: str) -> str:
        """Hands the server a message to deliver to receiver_host:receiver_port over
        TCP; its reply. Raises ConnectionFailed."""
        return self._command("DbMessageTcp", receiver_host, receiver_port, text)

    def update_available(self, credentials: str, table: str, search_field: int,
                         search_text: str, version_field: int) -> bool:
        """Whether the version stored in table (the record whose search_field is
        search_text, its version_field) differs from this program's product version.
        False also when the check cannot be made."""
        return bool(_library.call("UpdateIsAvailable", self.host, self.port, credentials,
                                  table, search_field, search_text, version_field))

    def script(self, text: str, progress: Optional[ProgressCallback] = None) -> str:
        """Runs a script (first line: the credentials "dbpassword@user@userpassword")
        and returns its answer text.

        When the script starts file transfers, this waits until they have all ended
        and raises TransferFailed if any entry did not complete. progress, if given,
        is called on the library's transfer thread with a qvn.Progress; returning
        qvn.CANCEL cancels; an exception in it is reported as a RuntimeWarning and
        the transfers go on. Raises NoAnswer when the whole answer is NONE, Refused
        when it is empty (the server could not open the request).
        Windows: file sections run without being waited for or reported (the
        binding has no window there).
        """
        answer, report = self._run(text, progress)
        if report is not None and report.failed:
            raise TransferFailed([o for o in report.outcomes if not o.completed],
                                 report.failed, answer)
        return _check_answer("Script", answer, f"{self.host}:{self.port}")

    def upload(self, credentials: str, local_path: PathLike, server_name: str,
               progress: Optional[ProgressCallback] = None) -> None:
        """Uploads one file and waits for it. server_name is the server's form,
        "..\\dir\\name" (or ".@\\dir\\name"; see qvn.server_name). Raises
        FileNotFoundError, TransferFailed."""
        local = os.fspath(local_path)
        if not os.path.isfile(local):
            raise FileNotFoundError(local)
        self._transfer(_sections.one_entry_section(credentials, local, server_name, True), progress)

    def download(self, credentials: str, server_name: str, local_path: PathLike,
                 progress: Optional[ProgressCallback] = None) -> None:
        """Downloads one file and waits for it; the local file is replaced only once
        the whole file has arrived. Raises TransferFailed."""
        local = os.fspath(local_path)
        self._transfer(_sections.one_entry_section(credentials, local, server_name, False), progress)

    def _transfer(self, text: str, progress: Optional[ProgressCallback]) -> None:
        if self.port == 0 or self.file_port == 0:
            raise ValueError("a file transfer needs a port and a file port")
        if _library.WINDOWS:
            raise NotImplementedError(
                "file transfers need a window and a message loop on Windows; the Python "
                "binding runs them on Linux only")
        answer, report = self._run(text, progress)
        if report is None or not report.outcomes:  # the entry never reached the thread
            raise TransferFailed([], 1, answer)
        if report.failed:
            raise TransferFailed([o for o in report.outcomes if not o.completed],
                                 report.failed, answer)

    def _run(self, text: str, progress: Optional[ProgressCallback]) -> tuple[str, Optional[Report]]:
        """Script's answer, and the report of its transfers (Linux; empty when it
        started none)."""
        if _library.WINDOWS:
            return _library.call("Script", None, text, self.host, self.port, self.file_port), None
        watch = Watch(progress)
        try:
            answer: str = _library.call("Script", ctypes.addressof(watch.window), text,
                                        self.host, self.port, self.file_port)
        except BaseException:
            watch.forget()
            raise
        # Given a window, every Script call ends with exactly one done message:
        # its transfer thread's, or (no thread) its own, sent before it returned.
        return answer, watch.wait()
