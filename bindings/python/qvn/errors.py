"""The exceptions of the qvn package."""

from __future__ import annotations

from typing import TYPE_CHECKING, Sequence

if TYPE_CHECKING:
    from .transfers import Outcome


class Error(Exception):
    """Base class of every error the qvn package raises."""


class LibraryNotFound(Error):
    """libqvn.so / qvn.dll could not be loaded; the message says where it looked."""


class ConfigurationError(Error):
    """A time-out variable (QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS,
    QVN_OPERATION_TIMEOUT_MS) holds a value that is not a whole number of
    milliseconds from 0 to 999999999. The library would run without that bound;
    the binding refuses the call instead. The message names the variable and the
    value."""


class ConnectionFailed(Error):
    """A command did not reach the server, or failed there (the answer CONNECTION_ERROR).

    Run with the environment variable QVN_DEBUG=1 to have the library write the
    cause to stderr.
    """


class NoAnswer(Error):
    """A script request obtained nothing (the answer NONE): no connection, or a reply
    that did not decrypt (wrong database or user password)."""


class Refused(Error):
    """The server refused the request: it could not open it (unknown user or wrong
    password: the empty answer), or said DENIED where that means the work was not
    done (changing a password)."""


class TransferFailed(Error):
    """One or more file entries of a script did not complete.

    Attributes:
        failures: the outcome of each entry that did not complete.
        failed: how many entries did not complete (as the library counted them).
        answer: the script's answer text.
    """

    def __init__(self, failures: Sequence["Outcome"], failed: int, answer: str = "") -> None:
        self.failures = list(failures)
        self.failed = failed
        self.answer = answer
        # Each entry as the bytes were to go: "upload a.bin -> ..\a.bin" or
        # "download ..\a.bin -> a.bin".
        detail = "; ".join(("upload " + o.client_file + " -> " + o.server_file if o.upload
                            else "download " + o.server_file + " -> " + o.client_file)
                           + f": {o.status.name.lower()}" + (f" ({o.reason})" if o.reason else "")
                           for o in self.failures)
        super().__init__(f"{failed} file transfer(s) did not complete" + (f": {detail}" if detail else ""))
