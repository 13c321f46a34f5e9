"""qvn.aio.Client: qvn.Client for asyncio programs.

    import asyncio, qvn.aio

    async def main() -> None:
        server = qvn.aio.Client("127.0.0.1", 7711, 7712)
        print(await server.db_name())
        await server.upload("dbpw@alice@secret", "report.pdf", qvn.server_name("docs/report.pdf"),
                            progress=lambda p: print(f"{p.percent:.0f}%"))

    asyncio.run(main())

Each network method is a coroutine that runs the blocking qvn.Client call on the
loop's default executor, so the loop goes on meanwhile. It raises what qvn.Client
raises. progress is called on the event loop's thread; the library's transfer
thread waits until the loop has run it (as a Windows window procedure makes it
wait), so returning qvn.CANCEL cancels at once, like with qvn.Client.

Cancelling the task that awaits a method cancels its transfers at their next
progress report; the coroutine raises CancelledError only once the library has
sent its last message for the call (a download's temporary file is gone, its
target untouched; nothing of the call runs on). A command (db_name, ...) cannot
be interrupted: a cancelled one raises CancelledError when its call returns.
"""

from __future__ import annotations

import asyncio
import functools
import threading
import traceback
import warnings
from typing import Any, Callable, Optional, TypeVar

from . import client as _client
from .transfers import CANCEL, Progress, ProgressCallback

__all__ = ["Client"]

_T = TypeVar("_T")


class _Relay:
    """The progress callback that qvn.Client calls on the library's thread: hands each
    report to the loop's thread, waits until the loop has handled it, and answers
    qvn.CANCEL once the awaiting task is cancelled."""

    def __init__(self, loop: asyncio.AbstractEventLoop, progress: Optional[ProgressCallback]) -> None:
        self.loop = loop
        self.progress = progress
        self.cancel = False  # set on the loop's thread, read on the library's

    def __call__(self, report: Progress) -> Optional[str]:
        if self.cancel:
            return CANCEL
        # Even without a callback: a cancel that the loop has seen before this report
        # is then answered by it.
        handled = threading.Event()

        def deliver() -> None:
            try:
                self._deliver(report)
            finally:
                # Queued behind whatever ran before it or the callback scheduled, such
                # as the wake-up of a task it cancelled, whose handler sets self.cancel.
                self.loop.call_soon(handled.set)

        try:
            self.loop.call_soon_threadsafe(deliver)
        except RuntimeError:  # the loop is closed: nobody waits for this call
            return CANCEL
        # A loop that stops for good without closing would never run deliver: the
        # transfer then goes on undelivered rather than hang the process.
        while not handled.wait(0.25):
            if not self.loop.is_running():
                break
        return CANCEL if self.cancel else None

    def _deliver(self, report: Progress) -> None:
        if self.cancel or self.progress is None:
            return
        try:
            if self.progress(report) == CANCEL:
                self.cancel = True
        except Exception:  # as qvn.Client: reported, the transfers go on
            warnings.warn("qvn: the progress callback raised (the transfers go on):\n"
                          + traceback.format_exc(), RuntimeWarning, stacklevel=1)


async def _in_thread(call: Callable[[], _T], relay: Optional[_Relay] = None) -> _T:
    """call's result, computed on the default executor. A cancel of the awaiting task
    is passed to the relay, and raised only once call has returned."""
    work = asyncio.get_running_loop().run_in_executor(None, call)
    cancelled: Optional[asyncio.CancelledError] = None
    while not work.done():
        try:
            await asyncio.wait((work,))  # which neither cancels work nor raises its error
        except asyncio.CancelledError as error:
            cancelled = cancelled or error
            if relay is not None:
                relay.cancel = True
    if cancelled is not None:
        if not work.cancelled():
            work.exception()  # retrieved: a cancelled transfer's TransferFailed is expected
        raise cancelled
    return work.result()


class Client:
    """A Quarven database server, for asyncio: the arguments of qvn.Client, the same
    methods as coroutines (see the module's documentation)."""

    def __init__(self, host: Optional[str] = None, port: Optional[int] = None,
                 file_port: Optional[int] = None, timeout_ms: Optional[int] = None) -> None:
        self.sync = _client.Client(host, port, file_port, timeout_ms)
        """The qvn.Client whose calls this one makes."""

    @property
    def host(self) -> str:
        return self.sync.host

    @property
    def port(self) -> int:
        return self.sync.port

    @property
    def file_port(self) -> int:
        return self.sync.file_port

    def __repr__(self) -> str:
        return f"qvn.aio.Client(host={self.host!r}, port={self.port}, file_port={self.file_port})"

    async def _call(self, method: Callable[..., _T], *arguments: Any) -> _T:
        return await _in_thread(functools.partial(method, *arguments))

    async def _transfer(self, method: Callable[..., _T], *arguments: Any,
                        progress: Optional[ProgressCallback]) -> _T:
        relay = _Relay(asyncio.get_running_loop(), progress)
        return await _in_thread(functools.partial(method, *arguments, progress=relay), relay)

    async def try_connect(self, timeout_ms: int = 5000) -> bool:
        """qvn.Client.try_connect."""
        return await self._call(self.sync.try_connect, timeout_ms)

    async def db_name(self) -> str:
        """qvn.Client.db_name."""
        return await self._call(self.sync.db_name)

    async def check_password(self, credentials: str) -> str:
        """qvn.Client.check_password."""
        return await self._call(self.sync.check_password, credentials)

    async def change_password(self, db_password: str, user: str, user_password: str,
                              new_password: str) -> str:
        """qvn.Client.change_password."""
        return await self._call(self.sync.change_password, db_password, user, user_password,
                                new_password)

    async def authenticate(self, user: str, password: str) -> str:
        """qvn.Client.authenticate."""
        return await self._call(self.sync.authenticate, user, password)

    async def message_pipe(self, text: str) -> str:
        """qvn.Client.message_pipe."""
        return await self._call(self.sync.message_pipe, text)

    async def message_file(self, text: str) -> str:
        """qvn.Client.message_file."""
        return await self._call(self.sync.message_file, text)

    async def message_tcp(self, receiver_host: str, receiver_port: int, text: str) -> str:
        """qvn.Client.message_tcp."""
        return await self._call(self.sync.message_tcp, receiver_host, receiver_port, text)

    async def update_available(self, credentials: str, table: str, search_field: int,
                               search_text: str, version_field: int) -> bool:
        """qvn.Client.update_available."""
        return await self._call(self.sync.update_available, credentials, table, search_field,
                                search_text, version_field)

    async def script(self, text: str, progress: Optional[ProgressCallback] = None) -> str:
        """qvn.Client.script; progress on the loop's thread, a cancel cancels the
        script's transfers."""
        return await self._transfer(self.sync.script, text, progress=progress)

    async def upload(self, credentials: str, local_path: _client.PathLike, server_name: str,
                     progress: Optional[ProgressCallback] = None) -> None:
        """qvn.Client.upload; progress on the loop's thread, a cancel cancels it."""
        await self._transfer(self.sync.upload, credentials, local_path, server_name,
                             progress=progress)

    async def download(self, credentials: str, server_name: str, local_path: _client.PathLike,
                       progress: Optional[ProgressCallback] = None) -> None:
        """qvn.Client.download; progress on the loop's thread, a cancel cancels it."""
        await self._transfer(self.sync.download, credentials, server_name, local_path,
                             progress=progress)
